#!/usr/bin/env bash
# Makes the .deb from an existing build with cpack, into a temporary folder,
# and checks it as dpkg and lintian see it; lintian covers the owners, modes
# and compression that the file list does not.
# Usage: deb_package_test.sh BUILD_DIR VERSION
set -euo pipefail
build=$1 version=$2 tmp=$(mktemp -d) failed=0
trap 'rm -rf "$tmp"' EXIT
fail() { echo "$*" >&2; failed=1; }
cpack -G DEB --config "$build/CPackConfig.cmake" -B "$tmp" >"$tmp/log" 2>&1 || { cat "$tmp/log" >&2; exit 1; }
deb=$tmp/sarnoval_$version-1_$(dpkg --print-architecture).deb

# Every file with its mode and owner: nothing missing, nothing more.
dpkg-deb -c "$deb" | awk '!/^d/ { sub(/^\.\//, "", $6); print $1, $2, $6 }' | sort >"$tmp/files"
sort >"$tmp/expected" <<EOF2
-rwxr-xr-x root/root usr/bin/sarnoval
-rwxr-xr-x root/root usr/bin/sarnoval-cli
$(for f in applications/example.quenvo.Sarnoval.desktop metainfo/example.quenvo.Sarnoval.metainfo.xml \
    icons/hicolor/{16x16,24x24,32x32,48x48,64x64,128x128,256x256}/apps/sarnoval.png \
    icons/hicolor/scalable/apps/sarnoval.svg man/man1/sarnoval{,-cli}.1.gz \
    doc/sarnoval/{copyright,changelog.Debian.gz} lintian/overrides/sarnoval; do
    echo "-rw-r--r-- root/root usr/share/$f"; done)
EOF2
diff -u "$tmp/expected" "$tmp/files" >&2 || fail "package contents differ (- expected, + packaged)"
dpkg-deb -x "$deb" "$tmp/root"
for page in sarnoval sarnoval-cli; do
    zcat "$tmp/root/usr/share/man/man1/$page.1.gz" | grep -q '^\.TH' || fail "$page.1.gz is no gzipped man page"
done

for field in 'Section: utils' 'Priority: optional' 'Homepage: https://.+' 'Description: [a-z].+' ' [A-Z].+'; do
    dpkg-deb -f "$deb" | grep -Eqx "$field" || fail "control lacks a line '$field'"
done
# Each dependency is installed here from Debian, at a version it allows.
depends=$(dpkg-deb -f "$deb" Depends | tr ',|' '\n\n' | tr -d '()')
for need in libc6 libqt6widgets6 qt6-qpa-plugins; do
    grep -Eq "^ ?$need( |$)" <<<"$depends" || fail "Depends lacks $need:" $depends
done
while read -r name op ver; do
    [[ $(dpkg-query -W -f='${Maintainer}' "$name" 2>&1) =~ @(lists\.)?debian\.org ]] || fail "Depends: $name is not Debian's"
    [ -z "$op" ] || dpkg --compare-versions "$(dpkg-query -W -f='${Version}' "$name")" "$op" "$ver" || fail "$name $op $ver unmet"
done <<<"$depends"

# The stripped programs still run; the dialog is still up after two seconds.
"$tmp/root/usr/bin/sarnoval-cli" --version | grep -qx "sarnoval-cli $version" || fail "packaged sarnoval-cli --version"
QT_QPA_PLATFORM=offscreen timeout 2 "$tmp/root/usr/bin/sarnoval" 2>/dev/null && code=0 || code=$?
[ "$code" -eq 124 ] || fail "packaged sarnoval ended at start (exit $code)"

# No error or warning beyond the package's overrides, and no stale override.
out=$(lintian -I --fail-on error,warning "$deb" 2>&1) || fail "lintian failed"
grep -E '^[EW]:|unused-override|mismatched-override' <<<"$out" >&2 && fail "lintian complaints"
exit "$failed"
