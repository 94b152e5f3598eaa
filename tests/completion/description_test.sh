#!/usr/bin/env bash
# Checks velmoth-queue's description of its command line, as its bash completion
# holds it, against what the program's --help and each command's --help give:
# description_test.sh PROGRAM BASH_COMPLETION. A command, option, option value or
# operand added to the program fails this test until the description has it too.
set -euo pipefail
program=$1 completion=$2
source "$(dirname "$0")/help_items.sh"
source "$completion"

# The completion's items, written as help_items writes those of --help.
described_items() {
  local command option choices
  printf 'velmoth-queue %s\n' "${_velmoth_queue_commands[@]}"
  for command in velmoth-queue "${_velmoth_queue_commands[@]}"; do
    for option in ${_velmoth_queue_options[$command]}; do
      if [ -z "${_velmoth_queue_values["$command $option"]+set}" ]; then
        echo "$command $option"
      elif choices=${_velmoth_queue_values["$command $option"]} && [ -z "$choices" ]; then
        echo "$command $option VALUE"
      else
        echo "$command $option {$(tr ' ' '\n' <<<"$choices" | LC_ALL=C sort | paste -sd '|')}"
      fi
    done
    if [ -n "${_velmoth_queue_operands[$command]+set}" ]; then
      echo "$command <operand>$([[ ${_velmoth_queue_operands[$command]} == *... ]] && echo ...)"
    fi
  done
}

diff <(help_items "$program") <(described_items | LC_ALL=C sort) || {
  echo "FAIL: packaging/completion/velmoth-queue.commands differs from --help" \
    "(< only in --help, > only in the description)" >&2
  exit 1
}
echo "velmoth-queue.commands: $(described_items | wc -l) items, as --help gives them"
