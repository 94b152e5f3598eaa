#!/usr/bin/env bash
# Installs the MSI under Wine: msi_test.sh PACKAGES_DIR VERSION NUMERIC_VERSION
# WINE_PREFIX. It replaces another build of its version; then velmoth-queue runs from
# a new command prompt through PATH, the event source Velmoth names velmoth.exe as its
# message file, and uninstalling takes away all it put there.
set -euo pipefail
packages=$1 version=$2 numeric=$3 prefix=$4
source "$(dirname "$0")/windows_package.sh"

msi=$(one_package "$packages" "Velmoth-*-x64.msi")
[ "$(basename "$msi")" = "Velmoth-$version-x64.msi" ] || fail "$(basename "$msi") is not $version"
property() { msiinfo export "$1" Property | tr -d '\r' | awk -F'\t' -v name="$2" '$1 == name { print $2 }'; }
[ "$(property "$msi" ProductVersion)" = "$numeric" ] || fail "ProductVersion"

program_files="$prefix/drive_c/Program Files/Velmoth"
# Windows puts a per-machine shortcut in the common Start menu; Wine in the user's.
shortcuts=("$prefix/drive_c/ProgramData/Microsoft/Windows/Start Menu/Programs/Velmoth.lnk"
  "$prefix/drive_c/users/$(id -un)/AppData/Roaming/Microsoft/Windows/Start Menu/Programs/Velmoth.lnk")
uninstall='HKLM\Software\Microsoft\Windows\CurrentVersion\Uninstall'
environment='HKLM\System\CurrentControlSet\Control\Session Manager\Environment'
windows_path() { local path; path=$(realpath "$1"); echo "Z:${path//\//\\}"; }
msiexec() { wine_in_prefix msiexec "$1" "$(windows_path "$2")" /qn; }
registered() { wine_in_prefix reg query "$uninstall\\$1" /v DisplayVersion >/dev/null 2>&1; }
event_source='HKLM\System\CurrentControlSet\Services\EventLog\Application\Velmoth'
# The type and data of a value of the event source's key, as "REG_DWORD 0x7".
event_source_value() {
  wine_in_prefix reg query "$event_source" /v "$1" | tr -d '\r' |
    sed -n "s/^ *$1 *\(REG_[A-Z_]*\) *\(.*\)$/\1 \2/p"
}
system_path() {
  wine_in_prefix reg query "$environment" /v PATH | tr -d '\r' |
    sed -n 's/^ *PATH *REG_EXPAND_SZ *//p'
}

# A prefix that an earlier, failed run left Velmoth in is made anew.
if [ -e "$program_files" ]; then
  WINEPREFIX=$prefix wineserver -k 2>/dev/null || true
  rm -rf "$prefix"
fi
path_before=$(system_path)

# Another build of the same version, as from another commit, with a product code
# of its own: the newest that the MSI replaces (older versions are below it). It
# leaves PATH alone, in which Wine would otherwise leave an empty entry.
scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT
other=$scratch/other.msi
cp "$msi" "$other"
other_code="{$(tr a-z A-Z </proc/sys/kernel/random/uuid)}"
msibuild "$other" -q "UPDATE \`Property\` SET \`Value\` = '$other_code' WHERE \`Property\` = 'ProductCode'"
msibuild "$other" -q "DELETE FROM \`Environment\`"
msiexec /i "$other" || fail "installing the other build"
registered "$other_code" || fail "the other build is not registered"

msiexec /i "$msi" || fail "installing over the other build"
code=$(property "$msi" ProductCode)
registered "$other_code" && fail "the other build is still registered"
registered "$code" || fail "no uninstall entry"
for file in velmoth.exe velmoth-queue.exe velmoth-queue-completion.ps1 README.md; do
  [ -f "$program_files/$file" ] || fail "$file is not installed"
done
[ -f "${shortcuts[0]}" ] || [ -f "${shortcuts[1]}" ] || fail "no Start-menu shortcut"
message_file=$(event_source_value EventMessageFile)
[ "$message_file" = 'REG_EXPAND_SZ C:\Program Files\Velmoth\velmoth.exe' ] ||
  fail "the event source's EventMessageFile: $message_file"
[ "$(event_source_value TypesSupported)" = "REG_DWORD 0x7" ] ||
  fail "the event source's TypesSupported: $(event_source_value TypesSupported)"
shown=$(wine_in_prefix cmd /c velmoth-queue --version | tr -d '\r')
[ "$shown" = "velmoth-queue $version" ] || fail "velmoth-queue --version through PATH: $shown"

# A value the MSI did not write, as an administrator might add, goes with the key.
wine_in_prefix reg add "$event_source" /v CategoryCount /t REG_DWORD /d 0 /f >/dev/null
msiexec /x "$msi" || fail "uninstalling"
registered "$code" && fail "the uninstall entry stays"
[ ! -e "$program_files" ] || fail "left: $(ls -A "$program_files")"
[ ! -e "${shortcuts[0]}" ] && [ ! -e "${shortcuts[1]}" ] || fail "the shortcut stays"
wine_in_prefix reg query "$event_source" >/dev/null 2>&1 && fail "the event source's key stays"
# Wine leaves the separator of the entry it took out; Windows does not.
path_after=$(system_path)
[ "${path_after%;}" = "$path_before" ] || fail "PATH was $path_before, is $path_after"
wine_in_prefix reg add "$environment" /v PATH /t REG_EXPAND_SZ /d "$path_before" /f >/dev/null
echo "$(basename "$msi"): installed over another build, run through PATH, its event source registered, uninstalled"
