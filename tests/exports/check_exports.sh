#!/usr/bin/env bash
# Checks that the shared object defines exactly the global symbols of its version script, each
# bound to Version_5.0, plus the version node itself, and nothing else.
set -euo pipefail
lib=$1
map=$2
expected=$(sed -n '/global:/,/local:/p' "$map" | grep -oE '\bEQ_[A-Za-z0-9_]+' | sort)
# Defined dynamic symbols: lines of objdump -T whose section is not *UND*.
defined=$(objdump -T "$lib" | awk '/ (DF|DO) / && !/\*UND\*/ && !/\*ABS\*/ {print $(NF-1), $NF}')
fail=0
while read -r ver sym; do
    [ -z "$sym" ] && continue
    if [ "$ver" != "Version_5.0" ]; then
        echo "symbol outside Version_5.0: $ver $sym"; fail=1
    fi
done <<< "$defined"
actual=$(echo "$defined" | awk '{print $2}' | sort)
if [ "$actual" != "$expected" ]; then
    echo "exported symbols differ from the version script:"
    diff <(echo "$expected") <(echo "$actual") || true
    fail=1
fi
headers=$(objdump -p "$lib")  # whole output first: grep -q would cut the pipe under pipefail
grep -q 'SONAME *libzavEventQuerySvcs5.so$' <<< "$headers" || { echo "wrong SONAME"; fail=1; }
[ $fail -eq 0 ] && echo "exports ok: $(echo "$expected" | wc -l) symbols at Version_5.0"
exit $fail
