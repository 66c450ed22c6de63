// The request documents' tables: every name a request may use, in
// declaration order, and the list of their types for anything that
// describes the requests.
#pragma once

#include <string_view>
#include <vector>

#include "core/schema/describe.h"
#include "core/schema/listing.h"

namespace lantor::request {

// The members that lead from a compile command to its strategy document,
// {"cmd":"compile","spec":{"strategy":...}}: the strategy stands as many
// levels deep. Each is the first field of its record.
inline constexpr std::string_view kStrategyPath[] = {"spec", "strategy"};

// The variants of `Target`; their positions are the values of Target::Kind.
inline constexpr schema::Variant kTargetKinds[] = {{"wasm", ""}, {"binary", ""}, {"no_std", "Target::NoStd"}};

// The variants of `DatasetRef`; their positions are the values of DatasetRef::Kind.
inline constexpr schema::Variant kDatasetKinds[] = {{"csv", "DatasetRef::Csv"},
                                                    {"inline", "DatasetRef::Inline"}};

// The optimisation levels; their positions are the values of OptLevel.
inline constexpr schema::Variant kOptLevels[] = {{"debug", ""}, {"release", ""}, {"size", ""}};

// The bare-metal target triples a `no_std` target may name.
inline constexpr std::string_view kMcuAllowlist[] = {
    "thumbv6m-none-eabi",           "thumbv7m-none-eabi",      "thumbv7em-none-eabi",
    "thumbv7em-none-eabihf",        "thumbv8m.main-none-eabi", "thumbv8m.main-none-eabihf",
    "riscv32imac-unknown-none-elf",
};

// Every type of the command bodies, the compile request first.
const std::vector<schema::TypeInfo>& types();

}  // namespace lantor::request
