# What the Windows package tests share, sourced: fail, the one package matching a
# pattern, the version strings of an .exe file, and running a program under Wine
# in the package tests' prefix ($prefix).
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)

fail() {
  echo "FAIL: $*" >&2
  exit 1
}

# one_package DIR PATTERN: the path of the one file in DIR matching PATTERN.
one_package() {
  local found=("$1"/$2)
  [ ${#found[@]} -eq 1 ] && [ -f "${found[0]}" ] || fail "not one $2 in $1: ${found[*]}"
  echo "${found[0]}"
}

# version_value EXE NAME: the string NAME (FileVersion, ProductVersion...) of
# EXE's version resource.
version_value() {
  wrestool --extract --raw --type=16 "$1" | strings -e l | grep -A1 -x "$2" | sed -n 2p
}

# check_exe_version EXE VERSION: both version strings of EXE are VERSION.
check_exe_version() {
  local name
  for name in FileVersion ProductVersion; do
    [ "$(version_value "$1" "$name")" = "$2" ] ||
      fail "$(basename "$1") $name $(version_value "$1" "$name")"
  done
}

wine_in_prefix() {
  "$root/cmake/wine-run" "$prefix" "$@"
}
