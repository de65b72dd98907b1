#!/usr/bin/env bash
# An installed library loads the signed component installed next to it with no EQ_SetMSLLibPath,
# whatever the current directory and LD_LIBRARY_PATH hold.
#   check_installed.sh CMAKE BUILD_DIR INSTALLED_HOST
set -euo pipefail
cmake=$1
build=$2
host=$3
root=$(mktemp -d)
trap 'rm -rf "$root"' EXIT

DESTDIR="$root/image" "$cmake" --install "$build" >/dev/null
library=$(find "$root/image" -name libzavEventQuerySvcs5.so -print)
libdir=$(dirname "$library")
if [ ! -f "$libdir/libzavSessionConfigSvcs5.so" ]; then
    echo "the component is not installed next to the library ($libdir)" >&2
    exit 1
fi

mkdir "$root/work"
printf '[event_query_services]\nshutdownTimeout = 5000\n[agent]\nagent_id = installed\n' \
    >"$root/work/local.ini"
printf '[servers]\nurl = http://127.0.0.1:9/\n' >"$root/work/comm.ini"
cd "$root/work"
env -u LD_LIBRARY_PATH "$host" "$library" "$libdir/libzavSessionConfigSvcs5.so" \
    "$root/work/local.ini" "$root/work/comm.ini"
echo "installed component loaded from $libdir"
