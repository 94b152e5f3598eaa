#!/usr/bin/env bash
# Reads velmoth-queue's PowerShell completion, which no PowerShell here can run:
# powershell_test.sh PROGRAM POWERSHELL_COMPLETION. Its commands, options, their
# values and operands must be what the program's --help gives; it must be
# registered for both names of the program and ask it for names alone.
set -euo pipefail
program=$1 completer=$2
source "$(dirname "$0")/help_items.sh"
fail() {
  echo "FAIL: $*" >&2
  exit 1
}

# The completion's data, written as help_items writes the items of --help.
completer_items() {
  awk -F"'" '
    /^        '"'"'[^'"'"']+'"'"' = @[{]$/ {
      command = $2
      if (command != "velmoth-queue") print "velmoth-queue " command
    }
    /^            Operands = '"'"'[a-z]+/ { print command " <operand>" ($2 ~ /[.][.][.]$/ ? "..." : "") }
    /^                @[{] Names = / {
      match($0, /Names = @[(][^)]*[)]/); names = substr($0, RSTART, RLENGTH)
      match($0, /Value = '"'"'[^'"'"']*'"'"'/); value = substr($0, RSTART + 9, RLENGTH - 10)
      match($0, /Choices = @[(][^)]*[)]/); choices = substr($0, RSTART + 12, RLENGTH - 13)
      gsub(/['"'"' ]/, "", choices)
      n = split(choices, words, ",")
      for (i = 2; i <= n; i++)
        for (j = i; j > 1 && words[j - 1] > words[j]; j--) {
          word = words[j]; words[j] = words[j - 1]; words[j - 1] = word
        }
      kind = value == "" ? "" : " VALUE"
      if (n > 0) {
        kind = " {" words[1]
        for (i = 2; i <= n; i++) kind = kind "|" words[i]
        kind = kind "}"
      }
      count = split(names, parts, "'"'"'")
      for (i = 2; i < count; i += 2) print command " " parts[i] kind
    }' "$completer" | LC_ALL=C sort
}

diff <(help_items "$program") <(completer_items) ||
  fail "$(basename "$completer") differs from --help (< only in --help, > only in the completion)"

# Registered for the program by either name, and asking it for the names alone.
for text in "Register-ArgumentCompleter -Native -CommandName 'velmoth-queue', 'velmoth-queue.exe'" \
  "\$arguments = @('list', '--names')" "\$arguments += '--all'" "& \$program @arguments"; do
  grep -qF -- "$text" "$completer" || fail "$(basename "$completer") lacks: $text"
done
echo "$(basename "$completer"): $(completer_items | wc -l) items, as --help gives them"
