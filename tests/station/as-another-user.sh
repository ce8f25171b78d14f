#!/bin/sh
# Runs a test program as the user nobody, from a copy that user may run.
[ "$(id -u)" = 0 ] || { echo "Not root: the tests already run as another user"; exit 77; }
copy=$(mktemp -d) && trap 'rm -rf "$copy"' EXIT && chmod 755 "$copy" && cp "$1" "$copy/test" || exit 1
shift
cd "$copy" && setpriv --reuid=nobody --regid=nogroup --clear-groups ./test "$@"
