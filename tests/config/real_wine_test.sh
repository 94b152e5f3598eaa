#!/usr/bin/env bash
# Sets the mail server's registry values in a real Wine prefix with Wine's own reg
# tool, differently in the two registry views, then runs the RealWine tests on it.
# Usage: real_wine_test.sh REAL_WINE_CHECK PREFIX
set -euo pipefail

tests=$1
prefix=$2
root=$(cd "$(dirname "$0")/../.." && pwd)
export WINEPREFIX=$prefix WINEDEBUG=-all DISPLAY= LC_ALL=C.UTF-8
export VELMOTH_WINE_TIMEOUT=${VELMOTH_WINE_TIMEOUT:-240}
log=$prefix.log

# Creating a prefix takes a while, so one is kept between runs.
if [ ! -e "$prefix/.velmoth-ready" ]; then
  rm -rf "$prefix"
  "$root/scripts/make-wine-prefix" "$prefix"
  touch "$prefix/.velmoth-ready"
fi

wine_step() {
  if ! timeout 120 "$@" >>"$log" 2>&1; then
    wineserver -k >/dev/null 2>&1 || true
    echo "failed: $*" >&2
    cat "$log" >&2
    exit 1
  fi
}

key='HKLM\SOFTWARE\korvane\korvane'
: >"$log"
wine_step wine reg add "$key" /v "Bad Mail Directory" /t REG_SZ /d 'C:\Mail\Bad Mäil' /f
wine_step wine reg add "$key" /v "Bad Mail Directory" /t REG_SZ /d 'C:\Mail\Bad Mäil 32' /f /reg:32
wine_step wine reg add "$key\connectors\smtp" /v "Outbound Queue Directory" /t REG_EXPAND_SZ \
  /d '%SystemDrive%\Mail\Outbound' /f
wine_step wineserver -w  # the server writes system.reg when it exits

VELMOTH_REAL_WINE_PREFIX=$prefix exec "$tests" --gtest_filter='RealWine.*'
