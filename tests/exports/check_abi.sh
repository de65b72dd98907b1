#!/usr/bin/env bash
# Compares the ABI of the built shared object with the baseline kept in the tree: any change to an
# exported function or to a type it reaches fails (abidiff calls a changed struct layout a change
# to review, not an incompatible one, so both count here). To take a deliberate change as the new
# baseline:
#   abidw --headers-dir include --drop-private-types --exported-interfaces-only --no-show-locs \
#         --no-comp-dir-path --no-corpus-path --type-id-style hash LIB > tests/exports/libzavEventQuerySvcs5.abi
set -uo pipefail
lib=$1
baseline=$2
report=$(abidiff "$baseline" "$lib")
rc=$?
# abidiff's status is a bit field: 1 error, 2 usage, 4 an ABI change, 8 an incompatible one.
if [ $((rc & 3)) -ne 0 ]; then
    echo "abidiff could not compare (status $rc):"; echo "$report"; exit 1
fi
if [ $((rc & 12)) -ne 0 ]; then
    echo "ABI change against $baseline:"; echo "$report"; exit 1
fi
echo "abi ok: $(grep -c '<elf-symbol ' "$baseline") exported functions as in the baseline"
