#!/usr/bin/env bash
# Takes the .deb apart: deb_test.sh DEB VERSION SOURCE_DIR. Checks its fields and
# files, then unpacks it with dpkg -x, has the desktop's validators read its
# desktop entry and AppStream data, and runs its velmoth-queue on a sample queue,
# by hand and through its bash completion.
set -euo pipefail
deb=$1 version=$2 source=$3
fail() {
  echo "FAIL: $*" >&2
  exit 1
}

[ "$(dpkg-deb -f "$deb" Package)" = velmoth ] || fail "package name"
[ "$(dpkg-deb -f "$deb" Version)" = "$version" ] || fail "version $(dpkg-deb -f "$deb" Version)"
[ "$(dpkg-deb -f "$deb" Architecture)" = amd64 ] || fail "architecture"
# dpkg-shlibdeps found what the programs link, Qt's widgets among them.
depends=$(dpkg-deb -f "$deb" Depends)
for library in libc6 libstdc++6 libqt6widgets6; do
  [[ $depends =~ (^|,\ )"$library" ]] || fail "Depends lacks $library: $depends"
done

expected=(
  /usr/bin/velmoth
  /usr/bin/velmoth-queue
  /usr/share/applications/velmoth.desktop
  /usr/share/bash-completion/completions/velmoth-queue
  /usr/share/doc/velmoth/changelog.gz
  /usr/share/doc/velmoth/copyright
)
for size in 16 24 32 48 64 128 256; do
  expected+=("/usr/share/icons/hicolor/${size}x${size}/apps/velmoth.png")
done
expected+=(
  /usr/share/icons/hicolor/scalable/apps/velmoth.svg
  /usr/share/man/man1/velmoth-queue.1.gz
  /usr/share/man/man1/velmoth.1.gz
  /usr/share/metainfo/org.example.velmoth.metainfo.xml
)
files=$(dpkg-deb --fsys-tarfile "$deb" | tar -t | grep -v '/$' | sed 's/^\.//' | LC_ALL=C sort)
diff <(printf '%s\n' "${expected[@]}" | LC_ALL=C sort) <(echo "$files") ||
  fail "the files differ from those expected (< expected, > packed)"

root=$(mktemp -d)
trap 'rm -rf "$root"' EXIT
dpkg -x "$deb" "$root"
queue=$root/usr/bin/velmoth-queue
[ "$("$queue" --version)" = "velmoth-queue $version" ] || fail "--version: $("$queue" --version)"
file "$root/usr/bin/velmoth" "$queue" | grep -q 'not stripped' && fail "unstripped programs"
# velmoth-queue(1) tells of every option that each command's --help gives.
manual=$(zcat "$root/usr/share/man/man1/velmoth-queue.1.gz" | sed 's/\\-/-/g')
commands=$("$queue" --help | sed -n '/^Subcommands:/,/^$/p' | awk 'NR > 1 && NF { print $1 }')
[ -n "$commands" ] || fail "no commands in velmoth-queue --help"
for command in $commands; do
  for option in $("$queue" "$command" --help | grep -o -- '--[a-z-]*' | grep -vx -- --help); do
    grep -q -- "$option" <<<"$manual" || fail "velmoth-queue(1) lacks $command $option"
  done
done
grep -q '^\.SH ENVIRONMENT' <<<"$manual" || fail "velmoth-queue(1) lacks its ENVIRONMENT section"
grep -qx 'Icon=velmoth' "$root/usr/share/applications/velmoth.desktop" || fail "desktop entry icon"

# Each validator, then the one line it writes when it finds nothing to say, not
# even a hint; they read the files as a software centre and a desktop menu do.
validators=(
  "desktop-file-validate usr/share/applications/velmoth.desktop|"
  "appstreamcli validate --no-net --pedantic usr/share/metainfo/org.example.velmoth.metainfo.xml|✔ Validation was successful."
)
for validator in "${validators[@]}"; do
  read -ra command <<<"${validator%%|*}"
  said=$(cd "$root" && "${command[@]}" 2>&1) || fail "${command[*]}: $said"
  [ "$said" = "${validator#*|}" ] || fail "${command[*]}: $said"
done

"$source/scripts/make-sample-queue" "$root/prefix" >/dev/null
listed=$(WINEPREFIX=$root/prefix "$queue" list) || fail "list failed: $listed"
grep -q '^20251201-081502-0001\.msg ' <<<"$listed" || fail "list: $listed"
# The packed completion asks the packed program for the names that a Tab completes.
completed=$(
  export WINEPREFIX=$root/prefix PATH=$root/usr/bin:$PATH COMP_WORDBREAKS=$' \t\n"\'><=;|&(:'
  source "$root/usr/share/bash-completion/completions/velmoth-queue"
  COMP_LINE="velmoth-queue requeue Q" COMP_POINT=23
  _velmoth_queue && echo "${COMPREPLY[*]}"
)
[ "$completed" = 'Quarterly\ report\ for\ Anna.msg' ] || fail "bash completion gave: $completed"
echo "$(basename "$deb"): $(wc -l <<<"$files") files, Depends: $depends"
