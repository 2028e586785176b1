#!/usr/bin/env bash
# The desktop file and the AppStream metadata pass their validators and agree
# with each other, with the icons and with the udev rule.
# usage: MetadataTest.sh DESKTOP METAINFO UDEV_RULE ICON_FOLDER VERSION
set -euo pipefail
desktop=$1 metainfo=$2 rule=$3 icons=$4 version=$5
fail() { echo "FAIL: $*" >&2; exit 1; }

desktop-file-validate "$desktop" || fail "desktop-file-validate refused $desktop"
appstreamcli validate --no-net --pedantic "$metainfo" || fail "appstreamcli refused $metainfo"

id=$(sed -n 's:.*<id>\(.*\)</id>.*:\1:p' "$metainfo")
# Each release keeps its own notes and date: a new version needs its own entry, newest first.
newest=$(sed -n 's:.*<release version="\([^"]*\)".*:\1:p' "$metainfo" | head -n1)
[ "$newest" = "$version" ] || fail "the newest release of the metainfo is \"$newest\", the program is $version: add its entry"
[ "$(basename "$desktop")" = "$id.desktop" ] || fail "the desktop file is not named $id.desktop"
grep -q "<launchable type=\"desktop-id\">$id.desktop</launchable>" "$metainfo" || fail "no launchable $id.desktop"
grep -qx "Icon=$id" "$desktop" || fail "the desktop file's icon is not $id"
for size in 16 22 24 32 48 64 128 256 512; do
  png=$icons/${size}x${size}/apps/$id.png
  [ -f "$png" ] || fail "no ${size}px icon"
  file "$png" | grep -q "PNG image data, $size x $size," || fail "$png is not ${size}x${size}: $(file -b "$png")"
done
[ -f "$icons/scalable/apps/$id.svg" ] || fail "no scalable icon"

# Every USB device the rule grants is offered by a modalias, and no other.
granted=$(sed -n 's/.*ID_VENDOR_ID}=="\([0-9a-f]*\)", ENV{ID_MODEL_ID}=="\([0-9a-f]*\)".*/\1 \2/p' "$rule" |
  awk '{printf "usb:v%sp%s*\n", toupper($1), toupper($2)}' | sort -u)
offered=$(sed -n 's:.*<modalias>\(.*\)</modalias>.*:\1:p' "$metainfo" | sort -u)
[ -n "$granted" ] || fail "no USB ids in $rule"
[ "$granted" = "$offered" ] || fail "modaliases differ from the udev rule: rule [$granted] metainfo [$offered]"
echo "desktop file, metainfo ($id, $(echo "$offered" | wc -l) modaliases) and icons agree"
