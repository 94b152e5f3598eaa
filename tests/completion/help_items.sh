# shellcheck shell=bash
# What velmoth-queue's --help and each command's --help give, sourced by the
# completion tests: help_items PROGRAM writes one item a line, sorted:
#   velmoth-queue list          a command
#   list --all                  an option without a value, once for each name
#   list --from VALUE           an option taking free text
#   summary --by {day|to}       an option taking one of those words, sorted
#   requeue <operand>...        the command's operands, "..." for more than one

# help_section_items COMMAND < HELP: the items of one --help text.
help_section_items() {
  awk -v command="$1" '
    /^[A-Z][A-Za-z]*:$/ { section = $0; next }
    /^$/ { section = ""; next }
    section == "Subcommands:" && /^  [^ ]/ { print command " " $1 }
    section == "Positionals:" && /^  [^ ]/ { print command " <operand>" (/ \.\.\./ ? "..." : "") }
    section == "Options:" && /^  -/ {
      value = ""
      if ($2 ~ /^[A-Z][A-Z_]*(:[{].*[}])?$/) value = " VALUE"
      if (match($2, /[{].*[}]/)) {
        n = split(substr($2, RSTART + 1, RLENGTH - 2), words, ",")
        for (i = 2; i <= n; i++)
          for (j = i; j > 1 && words[j - 1] > words[j]; j--) {
            word = words[j]; words[j] = words[j - 1]; words[j - 1] = word
          }
        value = " {" words[1]
        for (i = 2; i <= n; i++) value = value "|" words[i]
        value = value "}"
      }
      n = split($1, names, ",")
      for (i = 1; i <= n; i++) print command " " names[i] value
    }'
}

help_items() {
  local program=$1 command
  {
    help_section_items velmoth-queue < <("$program" --help)
    for command in $("$program" --help | help_section_items velmoth-queue | awk '$2 !~ /^-/ { print $2 }'); do
      help_section_items "$command" < <("$program" "$command" --help)
    done
  } | LC_ALL=C sort
}
