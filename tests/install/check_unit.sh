#!/usr/bin/env bash
# The eq-server unit passes systemd-analyze verify, and its sandbox rates an exposure of 2.0 or
# lower ("OK"). Exit 77 (skipped) without systemd-analyze.
#   check_unit.sh UNIT EQ_SERVER
set -euo pipefail
command -v systemd-analyze >/dev/null 2>&1 || { echo "systemd-analyze not found"; exit 77; }
work=$(mktemp -d "${TMPDIR:-/tmp}/zav-unit.XXXXXX")
trap 'rm -rf "$work"' EXIT
# verify checks that the program exists: the build's stands in for the installed one. Its man
# page is checked with the packages.
sed "s|/usr/bin/eq-server|$2|g" "$1" >"$work/eq-server.service"
out=$(systemd-analyze verify --man=no "$work/eq-server.service" 2>&1) || true
[ -z "$out" ] || { echo "$out" >&2; exit 1; }
# The threshold is in tenths.
systemd-analyze security --offline=yes --threshold=20 "$work/eq-server.service" | tail -1
