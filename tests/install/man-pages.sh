#!/usr/bin/env bash
# The manual pages against the programs:
#  - each page renders without a warning (man --warnings);
#  - the options of each command in the page are exactly those of its --help: the option names
#    are taken from both texts (ferrovan and ferrovan-sim command by command, from the page's
#    subsection of the command; ferrovan-kest from the page's SYNOPSIS and OPTIONS), and the commands of
#    `ferrovan help` are the page's command subsections.
#   man-pages.sh MAN_DIR BIN_DIR...   (the folders holding ferrovan, ferrovan-kest, ferrovan-sim)
set -uo pipefail
man_dir=$1
shift
for dir in "$@"; do PATH=$(cd "$dir" && pwd):$PATH; done

# Options the pages may document ahead of the programs' --help (none today); a name here is
# accepted only while the program's --help does not show it yet.
awaited=""

failures=0
fail() { echo "FAIL: $*"; failures=$((failures + 1)); }

# Option names (--name) in a text, sorted and unique; --help is left out (every program has it).
options() { grep -o -- '--[a-z][a-z0-9-]*' | grep -vx -- '--help' | sort -u; }
# A roff source as plain text: escapes of minus signs and fonts removed.
plain() { sed -e 's/\\-/-/g' -e 's/\\f[BIRP]//g' "$1"; }
# The subsection ".SS NAME" or the section ".SH NAME" of a page, up to the next heading.
subsection() { plain "$1" | awk -v name="$2" '/^\.S[HS] /{ on = ($1 == ".SS" && $2 == name) ; next } on'; }
section() { plain "$1" | awk -v name="$2" '/^\.SH /{ on = ($2 == name) ; next } on'; }

compare() { # what, help options, page options
    local what=$1 help=$2 page=$3 name
    for name in $(comm -23 <(echo "$help") <(echo "$page")); do
        fail "$what: $name is in --help but not in the manual page"
    done
    for name in $(comm -13 <(echo "$help") <(echo "$page")); do
        if [[ " $awaited " == *" $name "* ]]; then
            echo "note: $what: $name is documented ahead of the program"
        else
            fail "$what: $name is in the manual page but not in --help"
        fi
    done
}

for page in ferrovan ferrovan-kest ferrovan-sim; do
    src=$man_dir/$page.1
    [[ -f $src ]] || { fail "$src is missing"; continue; }
    warnings=$(MANWIDTH=80 LC_ALL=C.UTF-8 man --warnings -E UTF-8 -l "$src" 2>&1 >/dev/null)
    [[ -z $warnings ]] || fail "$page.1 renders with warnings: $warnings"
done

# ferrovan: the command list and each command's options.
commands=$(ferrovan help | awk '/^commands/{on=1; next} on && /^  [a-z]/{print $1}' | sort -u)
[[ -n $commands ]] || fail "ferrovan help lists no commands"
sections=$(plain "$man_dir/ferrovan.1" | awk '/^\.SH COMMANDS/{on=1; next} /^\.SH /{on=0} on && /^\.SS /{print $2}' | sort -u)
[[ "$commands" == "$sections" ]] || fail "ferrovan: commands differ: help [$(echo $commands)] page [$(echo $sections)]"
for command in $commands; do
    [[ $command == help ]] && continue
    compare "ferrovan $command" "$(ferrovan "$command" --help | options)" \
        "$(subsection "$man_dir/ferrovan.1" "$command" | options)"
done

# ferrovan-sim: each command's options.
for command in controller module; do
    compare "ferrovan-sim $command" "$(ferrovan-sim "$command" --help | options)" \
        "$(subsection "$man_dir/ferrovan-sim.1" "$command" | options)"
done

# ferrovan-kest: the page's synopsis and options (its --help needs no display).
compare "ferrovan-kest" "$(env -u DISPLAY -u WAYLAND_DISPLAY ferrovan-kest --help | options)" \
    "$( (section "$man_dir/ferrovan-kest.1" SYNOPSIS; section "$man_dir/ferrovan-kest.1" OPTIONS) | options)"

if ((failures)); then
    echo "$failures difference(s) between the manual pages and the programs"
    exit 1
fi
echo "manual pages agree with the programs"
