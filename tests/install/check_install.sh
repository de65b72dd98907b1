#!/usr/bin/env bash
# Installs the build, builds a host against the install and runs it against a loopback server,
# with no NLSPATH, no LD_LIBRARY_PATH pointing at the build and no EQ_SetMSLLibPath: the
# installed library must find its component (and verify its signature) and its message catalog
# by itself.
#   check_install.sh pkg-config|find_package|deb
# Settings come from the environment (tests/install/CMakeLists.txt): ZAV_CMAKE, ZAV_CPACK,
# ZAV_BUILD_DIR, ZAV_PREFIX, ZAV_LIBDIR, ZAV_DOCDIR, ZAV_CC, ZAV_CFLAGS, ZAV_TOOLCHAIN,
# ZAV_SERVER.
set -euo pipefail
method=$1
work=$(mktemp -d "${TMPDIR:-/tmp}/zav-install.XXXXXX")
server_pid=
cleanup() {
    if [ -n "$server_pid" ]; then
        kill "$server_pid" 2>/dev/null || true
        wait "$server_pid" 2>/dev/null || true
    fi
    rm -rf "$work"
}
trap cleanup EXIT
unset NLSPATH LD_LIBRARY_PATH

root=$work/root
case "$method" in
    pkg-config | find_package)
        DESTDIR=$root "$ZAV_CMAKE" --install "$ZAV_BUILD_DIR" >"$work/install.log"
        prefix=$root$ZAV_PREFIX
        libdir=$prefix/$ZAV_LIBDIR
        examples=$prefix/$ZAV_DOCDIR/examples
        ;;
    deb)
        # One cpack run; the packages go into the work folder, never into the build tree.
        "$ZAV_CPACK" --config "$ZAV_BUILD_DIR/CPackConfig.cmake" -B "$work/packages" \
            >"$work/cpack.log" 2>&1 || { cat "$work/cpack.log" >&2; exit 1; }
        mapfile -t debs < <(find "$work/packages" -maxdepth 1 -name '*.deb' | sort)
        [ ${#debs[@]} -eq 3 ] || { echo "expected 3 packages, got: ${debs[*]}" >&2; exit 1; }
        for deb in "${debs[@]}"; do
            echo "== $(basename "$deb")"
            dpkg-deb --field "$deb" Package Architecture Depends
        done
        # Every error and warning fails, but those the packages override with a reason.
        if command -v lintian >/dev/null 2>&1; then
            lintian --fail-on error,warning "${debs[@]}" ||
                { echo "lintian found errors or warnings" >&2; exit 1; }
        else
            echo "lintian not found (scripts/setup installs it): the packages are not checked"
        fi
        # A fresh dpkg database of its own: the system's is never touched. Its dependencies
        # are the system's libraries, which this root does not hold, hence --force-depends.
        # The packages have no maintainer scripts: the linker cache is libc-bin's trigger's work.
        mkdir -p "$root/var/lib/dpkg/info" "$root/var/lib/dpkg/updates"
        touch "$root/var/lib/dpkg/status" "$root/var/lib/dpkg/available"
        arch=$(dpkg-deb --field "${debs[0]}" Architecture)
        if [ "$arch" != "$(dpkg --print-architecture)" ]; then
            dpkg --root="$root" --add-architecture "$arch"
        fi
        dpkg --root="$root" --force-depends --log=/dev/null -i "${debs[@]}" >"$work/dpkg.log" 2>&1 ||
            { cat "$work/dpkg.log" >&2; exit 1; }
        dpkg --root="$root" -l 'libzav*' 'zav-*' | grep '^ii'
        [ "$(dpkg --root="$root" -l 'libzav*' 'zav-*' | grep -c '^ii')" -eq 3 ]
        dpkg --root="$root" --verify
        prefix=$root/usr
        libdir=$(dirname "$(find "$prefix" -name libzavEventQuerySvcs5.so | head -1)")
        # Debian's multiarch folder, so that both architectures can be installed at once.
        [[ "$libdir" == "$prefix"/lib/*-linux-gnu ]] || { echo "library in $libdir" >&2; exit 1; }
        examples=$(dirname "$(find "$prefix/share/doc" -path '*/examples/CMakeLists.txt' | head -1)")
        ;;
    *) echo "usage: $0 pkg-config|find_package|deb" >&2; exit 2 ;;
esac

for file in "$libdir/libzavEventQuerySvcs5.so" "$libdir/libzavSessionConfigSvcs5.so" \
    "$libdir/zavEventQuerySvcs5/nls/C/LC_MESSAGES/zav-MgmtSvcs.cat" \
    "$examples/CMakeLists.txt" "$examples/local.ini" "$examples/comm.ini"; do
    [ -f "$file" ] || { echo "not installed: $file" >&2; exit 1; }
done

# Each installed program has its manual page, which man reads without a warning.
for program in zavsign eq-query eq-server; do
    [ -x "$prefix/bin/$program" ] || continue
    page=$prefix/share/man/man1/$program.1.gz
    [ -f "$page" ] || { echo "no manual page: $page" >&2; exit 1; }
    warnings=$(LC_ALL=C.UTF-8 MANWIDTH=80 man --warnings -E UTF-8 -l "$page" 2>&1 >/dev/null)
    [ -z "$warnings" ] || { echo "$page: $warnings" >&2; exit 1; }
done

# The host.
case "$method" in
    pkg-config)
        export PKG_CONFIG_LIBDIR=$libdir/pkgconfig PKG_CONFIG_SYSROOT_DIR=$root
        echo "pkg-config: $(pkg-config --modversion zavEventQuerySvcs5)" \
            "$(pkg-config --cflags --libs zavEventQuerySvcs5)"
        # shellcheck disable=SC2086,SC2046
        "$ZAV_CC" $ZAV_CFLAGS -std=c99 -Wall -Werror -o "$work/host" \
            "$examples/query_vulnerabilities.c" \
            $(pkg-config --cflags --libs zavEventQuerySvcs5) -pthread
        # A host installed elsewhere finds the library through the dynamic linker.
        run=(env LD_LIBRARY_PATH="$libdir" "$work/host")
        ;;
    find_package | deb)
        toolchain=()
        [ -z "$ZAV_TOOLCHAIN" ] || toolchain=(--toolchain "$ZAV_TOOLCHAIN")
        "$ZAV_CMAKE" -S "$examples" -B "$work/host" "${toolchain[@]}" \
            -DCMAKE_PREFIX_PATH="$prefix" \
            >"$work/host.log" 2>&1 || { cat "$work/host.log" >&2; exit 1; }
        "$ZAV_CMAKE" --build "$work/host" >>"$work/host.log" 2>&1 ||
            { cat "$work/host.log" >&2; exit 1; }
        # The imported target's location reaches the program as its run path.
        run=("$work/host/query_vulnerabilities")
        ;;
esac

# The loopback server prints its URL once it listens.
mkfifo "$work/url"
"$ZAV_SERVER" >"$work/url" &
server_pid=$!
read -r url <"$work/url"

# The installed sample settings, pointed at the server, with short waits.
mkdir "$work/run"
sed "s|^url = .*|url = $url|" "$examples/comm.ini" >"$work/run/comm.ini"
sed -e 's|^retryInterval = .*|retryInterval = 100|' -e 's|^maxServerRetry = .*|maxServerRetry = 1|' \
    -e 's|^retryServerLoop = .*|retryServerLoop = 0|' -e 's|^shutdownTimeout = .*|shutdownTimeout = 5000|' \
    "$examples/local.ini" >"$work/run/local.ini"
cd "$work/run"
"${run[@]}" local.ini comm.ini 10.0.0.1-10.0.0.255 >"$work/answer.txt" 2>"$work/answer.err" ||
    { cat "$work/answer.txt" "$work/answer.err" >&2; exit 1; }
cat "$work/answer.txt"
grep -q "^built with libzavEventQuerySvcs [0-9]*\.[0-9]*\.[0-9]*$" "$work/answer.err"
grep -q "^vulnerability 42$" "$work/answer.txt"
grep -q "identifier = CVE-2024-0001" "$work/answer.txt"

# The installed eq-query finds the installed library, component and catalog by itself.
if [ -x "$prefix/bin/eq-query" ]; then
    "$prefix/bin/eq-query" vulns --address 10.0.0.1 --server "$url" --format csv >"$work/eq-query.csv"
    grep -q "^42," "$work/eq-query.csv" || { cat "$work/eq-query.csv" >&2; exit 1; }
    echo "eq-query: $(tail -1 "$work/eq-query.csv")"
fi

# A server that is gone: with retryServerLoop = 0 the one attempt is the last, and the error
# callback's text comes from the installed catalog.
kill "$server_pid"
wait "$server_pid" 2>/dev/null || true
server_pid=
if "${run[@]}" local.ini comm.ini 10.0.0.1 >"$work/failed.txt" 2>"$work/failed.err"; then
    echo "the query succeeded with no server" >&2
    exit 1
fi
if ! grep -q "^error: .*\[ID=0x47590025\]$" "$work/failed.err" ||
    grep -q "retrieving message text" "$work/failed.err"; then
    echo "no catalog text for the exhausted retries:" >&2
    cat "$work/failed.err" >&2
    exit 1
fi
grep "\[ID=0x47590025\]" "$work/failed.err"
echo "$method: installed host answered; catalog found without NLSPATH"
