#!/usr/bin/env bash
# Makes completions with cmake/velmoth-completion-scripts.cmake from descriptions
# of this test's own: one with an option taking fixed words, which both shells'
# completions then offer, and faulty ones, each refused with its line and why.
# generator_test.sh CMAKE SOURCE_DIR
set -euo pipefail
cmake=$1 source=$2
fail() {
  echo "FAIL: $*" >&2
  exit 1
}
scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT

# make_completions DESCRIPTION_TEXT: the completions in $scratch, cmake's errors
# on standard output, its lines joined.
make_completions() {
  printf '%b' "$1" >"$scratch/test.commands"
  "$cmake" -DDESCRIPTION="$scratch/test.commands" \
    -DBASH_TEMPLATE="$source/packaging/completion/velmoth-queue.bash.in" -DBASH="$scratch/bash" \
    -DPOWERSHELL_TEMPLATE="$source/packaging/completion/velmoth-queue.ps1.in" \
    -DPOWERSHELL="$scratch/velmoth-queue-completion.ps1" \
    -P "$source/cmake/velmoth-completion-scripts.cmake" 2>&1 | tr -s '\n ' '  '
  return "${PIPESTATUS[0]}"
}

# A description, then "|" and the start of the error it gets.
faults=(
  'command list  List\n--json  JSON\ncommand list  Again|test.commands:3: the command list twice'
  'command list  List\n--json|test.commands:2: not an item, two blanks and its help text'
  'command list  List\n--all  All\n-a,--all  All|test.commands:3: the option --all twice in list'
  'command list  List\n-a,--all,-a  All|test.commands:2: the option -a twice in list'
  '--all  All\n<parked>  A name|test.commands:2: one operand item a command'
  'command list  List\n<parked>  A\n<candidate>  B|test.commands:3: one operand item a command'
  'command list  List\nlist --from  From|test.commands:2: neither a command, an option nor an operand'
  'command list  List\n--by {a|b c}  By|test.commands:2: not an item'
  'command list  List\n--from TEXT  From; or To|test.commands: ";", "\", "[" and "]" are for comments only'
  'command list  Liste \xc3\xa0 faire|test.commands: only ASCII outside comments'
  '# only comments|test.commands: no command'
)
for case in "${faults[@]}"; do
  description=${case%|*} expected=${case##*|}
  if said=$(make_completions "$description"); then
    fail "[$description] was taken"
  fi
  grep -qF -- "$expected" <<<"$said" || fail "[$description] gave: $said"
done

make_completions '--version  Version\ncommand summary  Count them\n'\
'--by {to-domain|from-domain|day}  Count them by this\n-q,--quiet  Say less\n<parked>...  Names\n' ||
  fail "the description with choices was refused"
grep -qF "@{ Names = @('--by'); Value = '{to-domain|from-domain|day}';"\
" Choices = @('to-domain', 'from-domain', 'day')" "$scratch/velmoth-queue-completion.ps1" ||
  fail "PowerShell's completion lacks the choices of --by"

source "$scratch/bash"
source "$(dirname "$0")/press_tab.sh"
check_tabs \
  'velmoth-queue summary --by |to-domain from-domain day' \
  'velmoth-queue summary -q --by d|day' \
  'velmoth-queue summary --by=f|from-domain' \
  'velmoth-queue summary --by day -|--by -q --quiet' \
  'velmoth-queue summary --by day --q|--quiet'
echo "completion maker: ${#faults[@]} faulty descriptions refused, choices completed"
