#!/usr/bin/env bash
# Runs doxygen on the generated Doxyfile; exits 77 (skipped) with a message when doxygen is
# missing.
#   run_doxygen.sh DOXYGEN DOXYFILE
set -euo pipefail
doxygen=$1
doxyfile=$2
if [ -z "$doxygen" ] || [ "$doxygen" = "ZAV_DOXYGEN-NOTFOUND" ] || [ ! -x "$doxygen" ]; then
    echo "doxygen is not installed (scripts/setup installs it): API reference not checked" >&2
    exit 77
fi
"$doxygen" "$doxyfile"
echo "API reference: $(dirname "$doxyfile")/api/html/index.html"
