#!/usr/bin/env bash
# The manual pages render without a warning and name every option of m470
# and every command, setting and profile action m470ctl offers.
# usage: ManPageTest.sh M470_PAGE M470CTL_PAGE M470 M470CTL
set -euo pipefail
m470_page=$1 ctl_page=$2 m470=$3 ctl=$4
fail() { echo "FAIL: $*" >&2; exit 1; }

render() {
  local warnings
  warnings=$(MANWIDTH=80 man --warnings -l "$1" 2>&1 >/dev/null)
  [ -z "$warnings" ] || fail "$1 renders with warnings: $warnings"
  warnings=$(groff -ww -man -z "$1" 2>&1)
  [ -z "$warnings" ] || fail "groff warns on $1: $warnings"
  # Wide and in ASCII, so no word is broken or hyphenated across lines.
  LC_ALL=C MANWIDTH=400 man -l "$1" 2>/dev/null
}
m470_text=$(render "$m470_page")
ctl_text=$(render "$ctl_page")

missing=()
expect() { # TEXT WORD...: each word must stand as a word in TEXT
  local text=$1 word
  shift
  for word in "$@"; do
    grep -qE "(^|[^[:alnum:]-])$(printf '%s' "$word" | sed 's/[.[\*^$]/\\&/g')([^[:alnum:]-]|$)" <<<"$text" || missing+=("$word")
  done
}

# m470: every option its usage names.
mapfile -t options < <("$m470" --help | grep -oE -- '--[a-z][a-z-]*' | sort -u)
[ ${#options[@]} -ge 4 ] || fail "m470 --help names too few options: ${options[*]}"
expect "$m470_text" "${options[@]}"

# m470ctl: the commands, the products, every setting of the usage and of
# each product's help, the profile actions, the options.
usage=$("$ctl" --help)
section() { awk -v title="$1" '$0 == title ":" {on = 1; next} /^[^ ]/ {on = 0} on && NF {print $1}' <<<"$usage"; }
mapfile -t commands < <(section Commands | grep -vx PRODUCT)
mapfile -t settings < <(section Settings)
mapfile -t actions < <(section 'Profile actions')
[ ${#commands[@]} -ge 2 ] && [ ${#settings[@]} -ge 10 ] && [ ${#actions[@]} -ge 5 ] || fail "cannot read m470ctl --help"
products=(mouse keyboard mousepad headset)
for product in "${products[@]}"; do
  mapfile -t own < <("$ctl" help "$product" | cut -f1)
  [ ${#own[@]} -ge 1 ] || fail "m470ctl help $product lists no setting"
  settings+=("${own[@]}")
done
mapfile -t profile < <("$ctl" help profile)
mapfile -t ctl_options < <(grep -oE -- '--[a-z][a-z-]*' <<<"$usage" | sort -u)
expect "$ctl_text" "${commands[@]}" get set profile "${products[@]}" "${settings[@]}" "${actions[@]}" "${profile[@]}" "${ctl_options[@]}"

[ ${#missing[@]} -eq 0 ] || fail "not in the manual pages: $(printf '%s\n' "${missing[@]}" | sort -u | tr '\n' ' ')"
echo "manual pages render cleanly; ${#options[@]} m470 options and $(printf '%s\n' "${settings[@]}" | sort -u | wc -l) m470ctl settings named"
