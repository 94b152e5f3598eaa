#!/usr/bin/env bash
# Makes the packages that the package tests take apart: make_packages.sh CMAKE
# LINUX_BUILD [WINDOWS_BUILD], each build's velmoth_packages into its packages/.
set -euo pipefail
cmake=$1
shift
for build in "$@"; do
  "$cmake" --build "$build" --target velmoth_packages
done
