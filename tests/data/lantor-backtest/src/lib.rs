//! Stand-in for the backtest library: generated projects only declare the
//! dependency, so an empty library that compiles is all a test build needs.
#![no_std]

/// The version of this stand-in, so the crate is not entirely empty.
pub const VERSION: &str = env!("CARGO_PKG_VERSION");
