#!/usr/bin/env bash
# Bash completion of ferrovan: commands, each command's options, the port names of
# `ferrovan ports` where a command takes a port, and files where it takes a file.
#   completion.sh COMPLETION_FILE FERROVAN_DIR
set -uo pipefail
source "$1"
export PATH=$2:$PATH
failures=0

# What completing the last word of a command line offers, sorted, one per line.
complete_line() {
    COMP_WORDS=("$@")
    COMP_CWORD=$(($# - 1))
    COMPREPLY=()
    _ferrovan
    printf '%s\n' "${COMPREPLY[@]}" | sed '/^$/d' | sort
}
expect() { # description, expected (lines), actual
    if [[ "$2" != "$3" ]]; then
        echo "FAIL: $1: expected [$(echo $2)] got [$(echo $3)]"
        failures=$((failures + 1))
    fi
}

expect "commands" "$(printf '%s\n' make-image modules module-ap | sort)" "$(complete_line ferrovan m)"
expect "options of set" "--open-time" "$(complete_line ferrovan set ttyS0 --op)"
expect "options of flash" "$(printf '%s\n' --help --json --module-tcp-port --timeout --trace --udp-port)" "$(complete_line ferrovan flash --)"
expect "help topics" "image-info info inventory" "$(complete_line ferrovan help i | tr '\n' ' ' | sed 's/ $//')"
expect "no port after a value" "" "$(complete_line ferrovan info --timeout '')"

# Port names come from `ferrovan ports`: the real tool's list ...
names=$(ferrovan ports | cut -f 1 | sed '/^$/d' | sort)
expect "ports of the real tool" "$names" "$(complete_line ferrovan info '')"
# ... and a tool with known ports (names with descriptions after a tab).
stub=$(mktemp -d)
trap 'rm -rf "$stub"' EXIT
printf '#!/bin/sh\nprintf "ttyUSB0\\tUSB serial adapter (FTDI)\\nttyS10\\tBuilt-in serial port\\n"\n' >"$stub/ferrovan"
chmod +x "$stub/ferrovan"
expect "ports of info" "$(printf '%s\n' ttyS10 ttyUSB0)" "$(PATH=$stub:$PATH complete_line ferrovan info '')"
expect "ports of flash, after an option" "ttyUSB0" "$(PATH=$stub:$PATH complete_line ferrovan flash --timeout 5 ttyU)"
expect "ports of inventory --port" "ttyS10" "$(PATH=$stub:$PATH complete_line ferrovan inventory --json --port ttyS)"

# Files: the image of flash, after its port.
touch "$stub/app.img"
expect "image file of flash" "$stub/app.img" "$(complete_line ferrovan flash ttyS0 "$stub/app")"
touch "$stub/pump two.img"
expect "a file name with a space" "$stub/pump two.img" "$(complete_line ferrovan image-info "$stub/pump")"

if ((failures)); then
    echo "$failures completion(s) wrong"
    exit 1
fi
echo "completion works"
