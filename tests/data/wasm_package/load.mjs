// Loads a generated wasm package as a web page would, but from files: imports
// its JavaScript glue, initialises it with the module's bytes, and prints
// [strategy_symbol(), strategy_spec()] as JSON.
// Usage: node load.mjs pkg/{crate}.js pkg/{crate}_bg.wasm
import { readFileSync } from "node:fs";
import { pathToFileURL } from "node:url";

const [glue, modulePath] = process.argv.slice(2);
const pkg = await import(pathToFileURL(glue).href);
await pkg.default({ module_or_path: readFileSync(modulePath) });
process.stdout.write(JSON.stringify([pkg.strategy_symbol(), pkg.strategy_spec()]));
