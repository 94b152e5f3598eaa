#!/usr/bin/env bash
# Presses Tab on partial velmoth-queue command lines as bash does: COMP_LINE,
# COMP_POINT, COMP_WORDS and COMP_CWORD set, the completion function called and
# its COMPREPLY compared, quoted as the shell will read the reply back. Names
# come from the built program on a sample queue, a few needing quotes.
# bash_completion_test.sh BASH_COMPLETION PROGRAM_DIR SOURCE_DIR
set -euo pipefail
completion=$1 programs=$2 source=$3

scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT
"$source/scripts/make-sample-queue" "$scratch/prefix" >/dev/null
badmail=$scratch/prefix/drive_c/Korvane/Badmail
for name in "it's \$HOME & co.msg" 'a:b=c.msg' 'back\slash.msg' 'tab	x.msg'; do
  printf 'Status=Failed\r\n' >"$badmail/$name"
  printf 'Subject: x\r\n\r\n' >"$badmail/messages/$name"
done
export WINEPREFIX=$scratch/prefix PATH=$programs:$PATH

# bash-completion's functions, when installed, are there as in a user's shell;
# the completion needs none of them.
if [ -f /usr/share/bash-completion/bash_completion ]; then
  source /usr/share/bash-completion/bash_completion
fi
source "$completion"
source "$(dirname "$0")/press_tab.sh"

# A line typed, then "|" and the replies (press_tab.sh).
cases=(
  'velmoth-queue |list requeue delete show summary'
  'velmoth-queue re|requeue'
  'velmoth-queue --v|--version'
  'velmoth-queue list --a|--all --after'
  'velmoth-queue requeue --dry|--dry-run'
  'velmoth-queue requeue --from |-'
  'velmoth-queue requeue --after 2025-12-02 --|--help --all --from --to --subject --match --after --before --keep --dry-run --json'
  'velmoth-queue summary --by |to-domain from-domain day'
  'velmoth-queue summary --by f|from-domain'
  'velmoth-queue summary --by day --m|--match'
  'velmoth-queue bogus |-'
  # Candidates for requeue, every parked name for show, which takes one.
  'velmoth-queue requeue 20251206|-'
  'velmoth-queue show 20251206-07|20251206-073005-0009.msg 20251206-073112-0010.msg 20251206-075000-0012.msg'
  'velmoth-queue show 20251206-073005-0009.msg |-'
  'velmoth-queue requeue 20251201-081502-0001.msg 20251201-1|20251201-143311-0002.msg'
  'velmoth-queue requeue -- 2025120|20251201-081502-0001.msg 20251201-143311-0002.msg 20251202-092047-0003.msg 20251202-170958-0004.msg 20251203-101500-0005.msg 20251203-115820-0006.msg 20251204-080112-0007.msg'
  'WINEPREFIX=/nowhere velmoth-queue requeue Q|-'
  # A reply takes up what readline has of the word and goes on quoted alike.
  'velmoth-queue requeue Q|Quarterly\ report\ for\ Anna.msg'
  "velmoth-queue requeue 'Quarterly r|Quarterly report for Anna.msg"
  'velmoth-queue requeue Quarterly\ r|Quarterly\ report\ for\ Anna.msg'
  'velmoth-queue requeue Quarterly\|Quarterly\ report\ for\ Anna.msg'
  "velmoth-queue requeue it|it\\'s\\ \\\$HOME\\ \\&\\ co.msg"
  "velmoth-queue requeue 'it|it'\\''s \$HOME & co.msg"
  'velmoth-queue requeue "it|it'"'"'s \$HOME & co.msg'
  'velmoth-queue requeue a:|b=c.msg'
  'velmoth-queue requeue bac|back\\\\slash.msg'
  'velmoth-queue requeue "bac|back\\\\slash.msg'
  'velmoth-queue show ta|tab\\x09x.msg'
)
check_tabs "${cases[@]}"
echo "bash completion: ${#cases[@]} lines completed"
