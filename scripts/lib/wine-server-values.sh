# shellcheck shell=bash
# The mail server's two registry values, set in $WINEPREFIX with Wine's own reg tool,
# for the scripts that run the Windows build on a queue of their own. Sourced.

# set_server_values BAD_MAIL OUTBOUND: the Bad Mail and outbound queue directories.
set_server_values() {
  wine reg add 'HKLM\SOFTWARE\korvane\korvane' /v "Bad Mail Directory" /t REG_SZ /d "$1" \
    /f >/dev/null
  wine reg add 'HKLM\SOFTWARE\korvane\korvane\connectors\smtp' /v "Outbound Queue Directory" \
    /t REG_SZ /d "$2" /f >/dev/null
}
