# Makes velmoth-queue's shell completions from the one description of its command
# line (packaging/completion/velmoth-queue.commands): each template's line
# "@VELMOTH_COMPLETION_DATA@" (at its start) becomes the description's commands, options and
# operands as that shell's data, the rest of the template staying as it is.
# cmake -DDESCRIPTION= -DBASH_TEMPLATE= -DBASH= -DPOWERSHELL_TEMPLATE= -DPOWERSHELL= -P
cmake_minimum_required(VERSION 3.25)

set(program velmoth-queue)
set(option_name "(-[A-Za-z0-9]|--[A-Za-z0-9][A-Za-z0-9-]*)")
set(choice "[A-Za-z0-9._:-]+")

function(fail line_number message)
  message(FATAL_ERROR "${DESCRIPTION}:${line_number}: ${message}")
endfunction()

# TEXT as a PowerShell string in single quotes, in which a quote is doubled.
function(powershell_quoted text result)
  string(REPLACE "'" "''" text "${text}")
  set(${result} "'${text}'" PARENT_SCOPE)
endfunction()

file(READ ${DESCRIPTION} description)
# Comment lines are emptied, not removed, so that an error names its line.
string(REGEX REPLACE "(^|\n)#[^\n]*" "\\1" items "${description}")
if(items MATCHES "[][;\\]")
  message(FATAL_ERROR "${DESCRIPTION}: \";\", \"\\\", \"[\" and \"]\" are for comments only")
endif()
# Windows PowerShell reads a script without a byte order mark in the ANSI code page.
if(NOT items MATCHES "^[\t\n -~]*$")
  message(FATAL_ERROR "${DESCRIPTION}: only ASCII outside comments")
endif()
string(REPLACE "\n" ";" lines "${items}")

set(command ${program})
set(commands)
set(command_options)
set(bash_options)
set(bash_values)
set(bash_operands)
set(powershell_commands)
set(powershell_options)
set(powershell_operands "''")
set(powershell_help "'${program}'")

# The items' readers, macros sharing the data above. Each command's entry is
# closed, in both shells' data, when the next command or the end comes.
macro(end_command)
  powershell_quoted("${command}" key)
  string(APPEND powershell_commands
         "        ${key} = @{\n"
         "            Help = ${powershell_help}\n"
         "            Operands = ${powershell_operands}\n"
         "            Options = @(\n${powershell_options}            )\n"
         "        }\n")
  list(JOIN command_options " " words)
  string(APPEND bash_options "  [${command}]='${words}'\n")
  set(command_options)
  set(powershell_options)
  set(powershell_operands "''")
endmacro()

macro(read_command name)
  end_command()
  set(command ${name})
  if(command IN_LIST commands)
    fail(${line_number} "the command ${command} twice")
  endif()
  list(APPEND commands ${command})
  set(powershell_help "${help}")
endmacro()

# An option by its NAMES (a list), taking VALUE (TEXT, DATE, or nothing), one of
# CHOICES (words apart by blanks) when there are any.
macro(read_option names value choices)
  set(powershell_names)
  foreach(name IN ITEMS ${names})
    if(name IN_LIST command_options)
      fail(${line_number} "the option ${name} twice in ${command}")
    endif()
    list(APPEND command_options ${name})
    string(APPEND powershell_names ", '${name}'")
    if(NOT "${value}" STREQUAL "")
      string(APPEND bash_values "  ['${command} ${name}']='${choices}'\n")
    endif()
  endforeach()
  string(SUBSTRING "${powershell_names}" 2 -1 powershell_names)
  set(powershell_choices)
  if(NOT "${choices}" STREQUAL "")
    string(REPLACE " " "', '" powershell_choices "'${choices}'")
  endif()
  string(APPEND powershell_options
         "                @{ Names = @(${powershell_names}); Value = '${value}';"
         " Choices = @(${powershell_choices}); Help = ${help} }\n")
endmacro()

macro(read_operand operands)
  if(NOT powershell_operands STREQUAL "''" OR command STREQUAL program)
    fail(${line_number} "one operand item a command, and none for the program itself")
  endif()
  set(powershell_operands "'${operands}'")
  string(APPEND bash_operands "  [${command}]='${operands}'\n")
endmacro()

set(line_number 0)
foreach(line IN LISTS lines)
  math(EXPR line_number "${line_number} + 1")
  if(line MATCHES "^ *$")
    continue()
  endif()
  if(NOT line MATCHES "^([^ ]+( [^ ]+)?)   *([^ ].*)$")
    fail(${line_number} "not an item, two blanks and its help text: ${line}")
  endif()
  set(item "${CMAKE_MATCH_1}")
  powershell_quoted("${CMAKE_MATCH_3}" help)
  if(item MATCHES "^command ([a-z][a-z0-9-]*)$")
    read_command(${CMAKE_MATCH_1})
  elseif(item MATCHES "^(${option_name}(,${option_name})*)( ([A-Z][A-Z_]*|{(${choice}(\\|${choice})*)}))?$")
    string(REPLACE "," ";" names "${CMAKE_MATCH_1}")
    string(REPLACE "|" " " choices "${CMAKE_MATCH_7}")
    read_option("${names}" "${CMAKE_MATCH_6}" "${choices}")
  elseif(item MATCHES "^<(candidate|parked)>((\\.\\.\\.)?)$")
    read_operand("${CMAKE_MATCH_1}${CMAKE_MATCH_2}")
  else()
    fail(${line_number} "neither a command, an option nor an operand: ${item}")
  endif()
endforeach()
end_command()
if(NOT commands)
  message(FATAL_ERROR "${DESCRIPTION}: no command")
endif()

string(JOIN " " bash_commands ${commands})
file(RELATIVE_PATH source ${CMAKE_CURRENT_LIST_DIR}/.. ${DESCRIPTION})
set(bash_data "\
# Made from ${source}:\n\
# the commands; each one's options by every name, the program's own under its\n\
# name; the value of each option that takes one, keyed \"COMMAND OPTION\": the\n\
# words it takes, or nothing for free text; each command's operands, candidate\n\
# or parked names, \"...\" for several.\n\
_velmoth_queue_commands=(${bash_commands})\n\
declare -gA _velmoth_queue_options=(\n${bash_options})\n\
declare -gA _velmoth_queue_values=(\n${bash_values})\n\
declare -gA _velmoth_queue_operands=(\n${bash_operands})")
set(powershell_data "\
    # Made from ${source}:\n\
    # each command, the program itself under its name, with its options, their\n\
    # value (TEXT, DATE...) or the words they take, and its operands, candidate\n\
    # or parked names, \"...\" for several.\n\
    $commands = [ordered]@{\n${powershell_commands}    }")

foreach(shell BASH POWERSHELL)
  file(READ ${${shell}_TEMPLATE} script)
  string(TOLOWER ${shell} name)
  string(FIND "${script}" "\n@VELMOTH_COMPLETION_DATA@\n" at)
  if(at EQUAL -1)
    message(FATAL_ERROR "${${shell}_TEMPLATE} lacks @VELMOTH_COMPLETION_DATA@")
  endif()
  string(REPLACE "@VELMOTH_COMPLETION_DATA@" "${${name}_data}" script "${script}")
  file(WRITE ${${shell}} "${script}")
endforeach()
