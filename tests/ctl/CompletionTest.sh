#!/usr/bin/env bash
# The bash completion of m470ctl, as bash runs it on a TAB: the words typed,
# the candidates offered. Usage: CompletionTest.sh COMPLETION_FILE M470CTL
set -u
source "$1"
ctl=$2
failures=0

# complete WORDS... : the candidates for the last word, one line, sorted.
complete_line() {
    COMP_WORDS=("$ctl" "$@")
    COMP_CWORD=$#
    COMPREPLY=()
    _m470ctl
    printf '%s\n' "${COMPREPLY[@]}" | sort | tr '\n' '|' | sed 's/|$//'
}

expect() {
    local want=${1// /|}
    shift
    local got
    got=$(complete_line "$@")
    if [[ $got != "$want" ]]; then
        echo "FAILED: m470ctl $* <TAB>: got '$got', want '$want'"
        failures=$((failures + 1))
    fi
}

expect "headset help keyboard list mouse mousepad sdk" ""
expect "off on" "sdk" ""
expect "mouse mousepad" "mou"
expect "get profile set" "mouse" ""
expect "direction double-click dpi" "mouse" "set" "d"
expect "direction double-click dpi" "--json" "mouse" "get" "d"
expect "repeat-delay repeat-rate report-rate" "keyboard" "set" "re"
expect "mic mic-volume mode monitor monitor-volume" "headset" "set" "m"
expect "delete" "mouse" "profile" "d"
expect "export" "mouse" "profile" "ex"
expect "off on" "keyboard" "set" "win-lock" ""
expect "left right" "mousepad" "set" "direction" ""
expect "--help --json --version --virtual" "--"
expect "keyboard keys" "help" "k"

# Lighting modes by name, as m470ctl offers them; a name with spaces is one
# candidate, whether typed as it reads or escaped.
for typed in Column 'Column\ '; do
    got=$(complete_line "keyboard" "set" "mode" "$typed")
    [[ $got == 'Column\ breathing|Column\ pulse|Column\ wave' ]] ||
        { echo "FAILED: keyboard set mode $typed<TAB>: got '$got'"; failures=$((failures + 1)); }
done
expect "" "mouse" "set" "mode" "Column"
got=$(complete_line "keyboard" "set" "mode" "")
modes=$("$ctl" help keyboard mode | wc -l)
[[ $modes -ge 20 && $(tr '|' '\n' <<<"$got" | wc -l) -eq $modes ]] ||
    { echo "FAILED: keyboard set mode <TAB>: got '$got' for $modes modes"; failures=$((failures + 1)); }
[[ $got != *Effect* && $got != *light_mode* ]] || { echo "FAILED: modes are unnamed: '$got'"; failures=$((failures + 1)); }

# bash splits "--virtual=LIST" at "=".
expect "get profile set" "--virtual" "=" "mouse" "mouse" ""
expect "dpi" "--virtual" "=" "mouse,keyboard" "mouse" "set" "dp"
# File names with spaces are one candidate each.
scratch=$(mktemp -d)
mkdir "$scratch/my dir"
touch "$scratch/my file.json"
cd "$scratch" || exit 1
got=$(complete_line "mouse" "profile" "import" "my")
[[ $got == "my dir|my file.json" ]] || { echo "FAILED: import my<TAB>: got '$got'"; failures=$((failures + 1)); }
cd - >/dev/null || exit 1
rm -rf "$scratch"

if ((failures > 0)); then
    echo "$failures completion cases failed"
    exit 1
fi
echo "completion: all cases passed"
