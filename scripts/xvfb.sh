# shellcheck shell=bash disable=SC2034 # xvfb_pid is its caller's
# Sourced by the scripts that need an X display of their own: starts Xvfb,
# which picks a free display itself and says which (-displayfd), so that
# nothing races another server for a number; without -noreset it would start
# afresh whenever its last client leaves. Exports DISPLAY and sets xvfb_pid,
# for the caller to stop it with.
start_xvfb() {
    local answer
    answer=$(mktemp)
    Xvfb -displayfd 1 -noreset -screen 0 1280x800x24 -nolisten tcp >"$answer" 2>/dev/null &
    xvfb_pid=$!
    for _ in $(seq 100); do [ -s "$answer" ] && break; sleep 0.1; done
    DISPLAY=":$(tr -d '\n' <"$answer")"
    rm -f "$answer"
    [ "$DISPLAY" != ":" ] || { echo "Xvfb did not start" >&2; return 1; }
    export DISPLAY
}
