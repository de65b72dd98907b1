#!/usr/bin/env bash
# Checks that the component defines exactly the dynamic symbols of the interface's entry point list
# and carries its SONAME.
set -euo pipefail
lib=$1
names_tool=$2
expected=$("$names_tool" | sort)
actual=$(nm -D --defined-only "$lib" | awk '{print $NF}' | sort)
fail=0
if [ "$actual" != "$expected" ]; then
    echo "exported symbols differ from the entry point list (< expected, > exported):"
    diff <(echo "$expected") <(echo "$actual") || true
    fail=1
fi
[ "$(echo "$expected" | wc -l)" -eq 81 ] || { echo "entry point list is not 81 long"; fail=1; }
headers=$(objdump -p "$lib")  # whole output first: grep -q would cut the pipe under pipefail
grep -q 'SONAME *libzavSessionConfigSvcs5.so$' <<< "$headers" || { echo "wrong SONAME"; fail=1; }
[ $fail -eq 0 ] && echo "exports ok: $(echo "$actual" | wc -l) SCS_ entry points"
exit $fail
