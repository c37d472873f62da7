#!/usr/bin/env bash
# Every command the README shows (its ```sh blocks) is run here, block by block, so the README
# cannot go stale: the programs for real (from this build), `make TARGET ...` as a dry run of
# the Makefile (the targets themselves run in CI: make test, make package, make fuzz; make run's
# job, scripts/run-main, runs here), `man PAGE` on the page in resources/man, and
# `apt install ./FILE.deb` as a check that FILE is the name `make package` gives.
#   readme-commands.sh SOURCE_DIR BUILD_DIR BIN_DIR...
set -uo pipefail
src=$1 build=$2
shift 2
for dir in "$@"; do PATH=$(cd "$dir" && pwd):$PATH; done
export PATH src build
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

# The stand-ins, exported to each block's shell.
make() {
    command make -n -C "$src" "$@" >/dev/null || { echo "make $*: not a working target of the Makefile" >&2; return 1; }
    if [[ ${1:-} == run ]]; then
        # make run's own job, on this build: the window on a virtual display, with pictures.
        # (Qt's X11 plugin and libdbus keep allocations until the process ends; the window's own
        # leaks are looked for by the offscreen suites.)
        env -u DISPLAY -u WAYLAND_DISPLAY ASAN_OPTIONS=${ASAN_OPTIONS:+$ASAN_OPTIONS:}detect_leaks=0 "$src/scripts/run-main" "$build" >/dev/null || { echo "make run's job failed" >&2; return 1; }
    fi
}
man() {
    [[ -f $src/resources/man/$1.1 ]] || { echo "man $1: no such page" >&2; return 1; }
    MANWIDTH=80 command man -l "$src/resources/man/$1.1" >/dev/null
}
apt() {
    local version arch
    version=$(sed -n 's/^project(FerrovanKest VERSION \([0-9.]*\).*/\1/p' "$src/CMakeLists.txt")
    arch=$(dpkg --print-architecture)
    [[ $1 == install && $2 == "./build/ferrovan-kest_${version}_${arch}.deb" ]] ||
        { echo "apt $*: make package writes ./build/ferrovan-kest_${version}_${arch}.deb" >&2; return 1; }
}
export -f make man apt

blocks=0 failures=0
while IFS= read -r -d '' block; do
    blocks=$((blocks + 1))
    if ! (cd "$work" && bash -e -c "$block" >"$work/out" 2>&1 </dev/null); then
        echo "FAIL: this README block did not run:"
        echo "$block" | sed 's/^/    /'
        sed 's/^/  | /' "$work/out"
        failures=$((failures + 1))
    fi
done < <(awk '/^```sh$/{on=1; block=""; next} /^```$/{if (on) printf "%s%c", block, 0; on=0; next} on{block = block $0 "\n"}' "$src/README.md")

((blocks > 0)) || { echo "FAIL: the README shows no command block"; exit 1; }
if ((failures)); then
    echo "$failures of $blocks README blocks failed"
    exit 1
fi
echo "all $blocks README blocks ran"
