# shellcheck shell=bash
# Tab pressed on a command line as bash presses it, for the bash completion
# tests, sourced after the completion itself.
COMP_WORDBREAKS=$' \t\n"\'@><=;|&(:'

# replies LINE: COMPREPLY, one reply a line, for a Tab at the end of LINE.
replies() {
  local line=$1
  COMP_LINE=$line COMP_POINT=${#line}
  read -ra COMP_WORDS <<<"$line"
  [[ $line == *' ' ]] && COMP_WORDS+=('')
  COMP_CWORD=$((${#COMP_WORDS[@]} - 1))
  COMPREPLY=()
  _velmoth_queue velmoth-queue "${COMP_WORDS[COMP_CWORD]}" "${COMP_WORDS[COMP_CWORD - 1]}"
  printf '%s\n' "${COMPREPLY[@]}"
}

# check_tabs CASE...: each case a line typed, "|", the replies with a blank
# between them, or "-" for none. Tells each line that completes otherwise and
# fails when there is one.
check_tabs() {
  local case line expected got failures=0
  for case in "$@"; do
    line=${case%%|*} expected=${case#*|}
    [ "$expected" = - ] && expected=
    got=$(replies "$line" | paste -sd ' ')
    if [ "$got" != "$expected" ]; then
      echo "FAIL: [$line] gave [$got], not [$expected]" >&2
      failures=$((failures + 1))
    fi
  done
  [ "$failures" -eq 0 ] || {
    echo "FAIL: $failures of $# lines" >&2
    exit 1
  }
}
