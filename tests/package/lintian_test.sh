#!/usr/bin/env bash
# Runs lintian on the .deb: lintian_test.sh DEB. Errors fail the test; the
# warnings and notes that remain are printed for the log.
set -euo pipefail
lintian --fail-on error --display-info "$1"
