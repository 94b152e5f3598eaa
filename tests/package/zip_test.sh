#!/usr/bin/env bash
# Takes the Windows zip apart: zip_test.sh PACKAGES_DIR VERSION WINE_PREFIX. Checks
# its files, the programs' version resources and the PowerShell completion, then
# runs velmoth-queue.exe from the unpacked folder under Wine.
set -euo pipefail
packages=$1 version=$2 prefix=$3
source "$(dirname "$0")/windows_package.sh"

zip=$(one_package "$packages" "Velmoth-*-win64.zip")
folder=Velmoth-$version-win64
[ "$(basename "$zip")" = "$folder.zip" ] || fail "$(basename "$zip") is not of version $version"
expected=("$folder/" "$folder/README.md" "$folder/velmoth-queue-completion.ps1"
  "$folder/velmoth-queue.exe" "$folder/velmoth.exe")
diff <(printf '%s\n' "${expected[@]}") <(zipinfo -1 "$zip" | LC_ALL=C sort) ||
  fail "the files differ from those expected (< expected, > packed)"

unpacked=$(mktemp -d)
trap 'rm -rf "$unpacked"' EXIT
unzip -q "$zip" -d "$unpacked"
for exe in velmoth.exe velmoth-queue.exe; do
  check_exe_version "$unpacked/$folder/$exe" "$version"
  wrestool --list --type=14 "$unpacked/$folder/$exe" | grep -q . || fail "$exe has no icon"
done
grep -qF "Register-ArgumentCompleter -Native -CommandName 'velmoth-queue'" \
  "$unpacked/$folder/velmoth-queue-completion.ps1" || fail "no PowerShell completion"
shown=$(wine_in_prefix "$unpacked/$folder/velmoth-queue.exe" --version | tr -d '\r')
[ "$shown" = "velmoth-queue $version" ] || fail "velmoth-queue.exe --version: $shown"
echo "$(basename "$zip"): ${expected[*]}"
