#!/usr/bin/env bash
# What Explorer and a file's Properties read from each Windows program, read
# back out of the built files with wrestool: the icon group at every size, the
# version block naming its own file, and the manifest's UTF-8 code page.
# Usage: windows_resources_test.sh Sarnoval.exe sarnoval-cli.exe
set -uo pipefail
command -v wrestool >/dev/null || { echo "missing wrestool: run scripts/sarnoval.sh test once" >&2; exit 1; }
declare -A path=([Sarnoval.exe]=$1 [sarnoval-cli.exe]=$2)
tmp=$(mktemp)
trap 'rm -f "$tmp"' EXIT

# The resource's text, one line: icon sizes, or printable runs of the UTF-16 version block.
read_resource() {
    case $2 in
    icon) wrestool -x -t 14 "$1" >"$tmp" && icotool -l "$tmp" |
        sed -n 's/.*--width=\([0-9]*\).*/\1/p' | paste -sd, ;;
    version) wrestool -x --raw -t 16 "$1" | iconv -f UTF-16LE -t UTF-8 2>/dev/null |
        tr -c '[:print:]' '|' | tr -s '|' ;;
    manifest) wrestool -x --raw -t 24 -n 1 "$1" | tr -s ' \n' ' ' ;;
    esac
}

failed=0
printf '%-17s %-9s %s\n' program resource result
while read -r exe resource expected; do
    got=$(read_resource "${path[$exe]}" "$resource")
    if [[ $got == *"$expected"* ]]; then
        printf '%-17s %-9s ok\n' "$exe" "$resource"
    else
        printf '%-17s %-9s FAILED: no "%s" in "%s"\n' "$exe" "$resource" "$expected" "$got"
        failed=1
    fi
done <<'ROWS'
Sarnoval.exe     icon     16,32,48,256
Sarnoval.exe     version  |OriginalFilename|Sarnoval.exe|
Sarnoval.exe     manifest >UTF-8</activeCodePage>
sarnoval-cli.exe icon     16,32,48,256
sarnoval-cli.exe version  |OriginalFilename|sarnoval-cli.exe|
sarnoval-cli.exe manifest >UTF-8</activeCodePage>
ROWS
exit "$failed"
