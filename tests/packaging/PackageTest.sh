#!/usr/bin/env bash
# Builds the Debian package from the build tree with cpack, checks its
# control fields, its contents and its maintainer scripts, and runs lintian.
# usage: PackageTest.sh BUILD_DIR WORK_DIR VERSION
set -euo pipefail
build=$1 work=$2 version=$3
fail() { echo "FAIL: $*" >&2; exit 1; }

rm -rf "$work"
mkdir -p "$work"
cpack --config "$build/CPackConfig.cmake" -B "$work" >"$work/cpack.log" 2>&1 || { cat "$work/cpack.log"; fail "cpack failed"; }
deb=$(find "$work" -maxdepth 1 -name '*.deb')
[ "$(echo "$deb" | wc -l)" = 1 ] && [ -f "$deb" ] || fail "expected one package in $work, got: $deb"

field() { dpkg-deb -f "$deb" "$1"; }
[ "$(field Package)" = m470 ] || fail "Package: $(field Package)"
[ "$(field Version)" = "$version" ] || fail "Version: $(field Version), not $version"
[ "$(field Architecture)" = "$(dpkg --print-architecture)" ] || fail "Architecture: $(field Architecture)"
depends=$(field Depends)
# Computed from the binaries: the libraries each program links; libcurl4,
# loaded at run time, is named by the build.
for library in libqt6widgets6 libqt6uitools6 libudev1 libjsoncpp25 libcurl4 libpulse0 libasound2 libc6; do
  grep -qE "(^|, )$library( |,|$)" <<<"$depends" || fail "Depends lacks $library: $depends"
done
for name in Maintainer Description Homepage Section Installed-Size; do
  [ -n "$(field $name)" ] || fail "no $name field"
done

contents=$(dpkg-deb -c "$deb" | awk '{print $6 ($7 == "->" ? " -> " $8 : "")}')
for path in ./usr/bin/m470 ./usr/bin/m470ctl ./usr/lib/m470/m470 ./usr/lib/m470/m470ctl ./usr/lib/m470/m470-audiorecord \
            ./usr/lib/m470/SDK/libosconf.so ./usr/lib/m470/skin/mainwindow.ui ./usr/lib/m470/skin/lang/zh.json \
            ./usr/lib/m470/DefaultData/mouse.Json ./usr/lib/udev/rules.d/60-m470.rules \
            ./usr/share/applications/io.github.m470.M470.desktop ./usr/share/metainfo/io.github.m470.M470.metainfo.xml \
            ./usr/share/icons/hicolor/scalable/apps/io.github.m470.M470.svg \
            ./usr/share/man/man1/m470.1.gz ./usr/share/man/man1/m470ctl.1.gz \
            ./usr/share/doc/m470/copyright ./usr/share/doc/m470/changelog.Debian.gz \
            ./usr/share/bash-completion/completions/m470ctl; do
  grep -q "^$path\( ->\|$\)" <<<"$contents" || fail "the package lacks $path"
done
for size in 16 22 24 32 48 64 128 256 512; do
  grep -qx "./usr/share/icons/hicolor/${size}x${size}/apps/io.github.m470.M470.png" <<<"$contents" || fail "no ${size}px icon"
done
grep -qx './usr/bin/m470 -> ../lib/m470/m470' <<<"$contents" || fail "/usr/bin/m470 is no link to the program"

# Every binary is stripped.
dpkg-deb -x "$deb" "$work/root"
while IFS= read -r -d '' binary; do
  description=$(file -b "$binary")
  [[ $description != ELF* ]] && continue
  [[ $description == *", stripped"* ]] || fail "$binary is not stripped: $description"
done < <(find "$work/root/usr/lib/m470" -type f -print0)

# The post-install step replays the products of the udev rule, and only them,
# and does nothing (successfully) where no udev daemon runs.
dpkg-deb -e "$deb" "$work/control"
for script in postinst postrm; do
  [ -x "$work/control/$script" ] || fail "no executable $script"
  sh -n "$work/control/$script" || fail "$script does not parse"
done
rule_ids=$(sed -n 's/.*ID_VENDOR_ID}=="\([0-9a-f]*\)", ENV{ID_MODEL_ID}=="\([0-9a-f]*\)".*/\1:\2/p' "$work/root/usr/lib/udev/rules.d/60-m470.rules" | sort -u)
script_ids=$(sed -n 's/^m470_usb_ids="\(.*\)"$/\1/p' "$work/control/postinst" | tr ' ' '\n' | sort -u)
[ -n "$rule_ids" ] && [ "$rule_ids" = "$script_ids" ] || fail "postinst ids [$script_ids] differ from the rule's [$rule_ids]"
if [ ! -S /run/udev/control ]; then
  "$work/control/postinst" configure || fail "postinst fails without a udev daemon"
  "$work/control/postrm" purge || fail "postrm fails without a udev daemon"
fi

# lintian: no error; the warnings it still gives are listed for the reader.
lintian --allow-root --fail-on error --display-level ">=warning" "$deb" | tee "$work/lintian.log" ||
  fail "lintian found errors"
echo "package $(basename "$deb"): Installed-Size $(field Installed-Size) KiB; Depends: $depends"
