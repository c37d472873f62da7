#!/usr/bin/env bash
# Runs a window test program on a headless Wayland compositor (weston's headless backend) with
# QT_QPA_PLATFORM=wayland. Exit status 77 (a skipped test) with the reason when the compositor
# cannot start; otherwise the test's own status, and a failure when the window's log shows Qt's
# Wayland warnings (opacity and placing are skipped on Wayland, not attempted).
#   run-under-weston.sh TEST_PROGRAM [ARGUMENTS]...
set -uo pipefail
skip() { echo "SKIPPED: $*"; exit 77; }

command -v weston >/dev/null || skip "weston is not installed (scripts/install-deps installs it)"
runtime=$(mktemp -d)
chmod 700 "$runtime"
weston_pid=
cleanup() {
    if [[ -n $weston_pid ]]; then
        kill "$weston_pid" 2>/dev/null
        wait "$weston_pid" 2>/dev/null
    fi
    rm -rf "$runtime"
}
trap cleanup EXIT

export XDG_RUNTIME_DIR=$runtime
socket=fk-wayland-$$
weston --backend=headless-backend.so --socket="$socket" --idle-time=0 --no-config \
    >"$runtime/weston.log" 2>&1 &
weston_pid=$!
for _ in $(seq 100); do
    [[ -S $runtime/$socket ]] && break
    kill -0 "$weston_pid" 2>/dev/null || skip "the Wayland compositor (weston) could not start: $(tail -n 3 "$runtime/weston.log")"
    sleep 0.1
done
[[ -S $runtime/$socket ]] || skip "the Wayland compositor (weston) gave no socket within 10 s: $(tail -n 3 "$runtime/weston.log")"

unset DISPLAY
export WAYLAND_DISPLAY=$socket QT_QPA_PLATFORM=wayland
# libwayland-client and Qt's Wayland plugin keep allocations until the process ends; the
# window's own leaks are looked for by the offscreen suites.
export ASAN_OPTIONS=${ASAN_OPTIONS:+$ASAN_OPTIONS:}detect_leaks=0
"$@" 2>"$runtime/window.log"
status=$?
cat "$runtime/window.log" >&2
if ((status == 0)) && grep -n -i "qt\.qpa\.wayland\|does not support" "$runtime/window.log"; then
    echo "FAIL: the window's log shows Qt's Wayland warnings (above)"
    status=1
fi
exit "$status"
