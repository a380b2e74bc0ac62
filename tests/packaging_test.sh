#!/usr/bin/env bash
# Installs the build into a temporary prefix and checks what a desktop and a
# distribution read from it: the desktop entry, the AppStream metainfo (with
# the entry and icon it names) and the man pages. Any complaint fails.
# Usage: packaging_test.sh BUILD_DIR APP_ID
set -euo pipefail
build=$1
id=$2
prefix=$(mktemp -d)
trap 'rm -rf "$prefix"' EXIT

for tool in desktop-file-validate appstreamcli groff; do
    command -v "$tool" >/dev/null || { echo "missing $tool: run scripts/sarnoval.sh test once" >&2; exit 1; }
done

cmake --install "$build" --prefix "$prefix" >/dev/null
failed=0
for f in bin/sarnoval bin/sarnoval-cli share/man/man1/sarnoval-cli.1 \
         "share/applications/$id.desktop" "share/metainfo/$id.metainfo.xml" \
         share/man/man1/sarnoval.1 share/icons/hicolor/scalable/apps/sarnoval.svg; do
    [ -e "$prefix/$f" ] || { echo "not installed: $f" >&2; failed=1; }
done

# Hints count too: they are what menus get wrong.
out=$(desktop-file-validate "$prefix/share/applications/$id.desktop" 2>&1) || failed=1
[ -z "$out" ] || { echo "$out" >&2; failed=1; }

# What a menu starts and what AppStream says is installed are the installed command.
exec_name=$(sed -n 's/^Exec=\([^ ]*\).*/\1/p' "$prefix/share/applications/$id.desktop")
binaries=$(sed -n 's:.*<binary>\(.*\)</binary>.*:\1:p' "$prefix/share/metainfo/$id.metainfo.xml")
[ "$(echo $binaries)" = "sarnoval sarnoval-cli" ] || { echo "metainfo binaries: $binaries" >&2; failed=1; }
for name in "$exec_name" $binaries; do
    [ -n "$name" ] && [ -x "$prefix/bin/$name" ] || { echo "not an installed command: '$name'" >&2; failed=1; }
done

grep -q '^Keywords=.' "$prefix/share/applications/$id.desktop" || { echo "no Keywords=" >&2; failed=1; }
for tag in '<screenshot ' '<release '; do
    grep -q "$tag" "$prefix/share/metainfo/$id.metainfo.xml" || { echo "metainfo lacks $tag" >&2; failed=1; }
done

# The tree, so the desktop entry and the icon named by the metainfo are checked as well.
appstreamcli validate-tree --no-net "$prefix" >&2 || failed=1

for page in sarnoval.1 sarnoval-cli.1; do
    out=$(groff -man -ww -z "$prefix/share/man/man1/$page" 2>&1) || failed=1
    [ -z "$out" ] || { echo "$page: $out" >&2; failed=1; }
    # Each page leads to the other, by the name it is installed under.
    other=$([ $page = sarnoval.1 ] && echo sarnoval-cli || echo sarnoval)
    sed -n '/^\.SH SEE ALSO/,/^\.SH/p' "$prefix/share/man/man1/$page" | grep -q "^\.BR $other (1)" ||
        { echo "$page: SEE ALSO does not name $other(1)" >&2; failed=1; }
done

exit "$failed"
