#!/bin/sh
# Runs one Windows test program under Wine; CTest's emulator for this build.
# A Qt Test's console output does not come back through a pipe from Wine,
# its own output file does. Usage: wine-run.sh PROGRAM [ARGUMENTS]
set -u
# shellcheck source=/dev/null # written by the build beside this
. "$(dirname "$0")/wine-env.sh"
program=$1
shift
output=$(mktemp)
trap 'rm -f "$output"' EXIT
wine "$program" "$@" -o "Z:$output,txt"
status=$?
cat "$output"
exit $status
