#!/usr/bin/env bash
# Cross-builds the extension module, its stand-ins, tools and tests for 64-bit Windows with
# MinGW-w64, and with --test runs the test suite under Wine.
#
#   scripts/build-windows.sh            build only
#   scripts/build-windows.sh --test     build, then run every test under Wine
#   scripts/build-windows.sh --test -R scene_model   extra arguments go to ctest
#
# The libraries come from Debian's own source packages (jansson, mbedtls, libwebsockets,
# pugixml, googletest), fetched through a private apt sources list and lists folder so the
# machine's apt configuration stays untouched, and are built once as static Windows
# libraries into build/windows-deps/prefix (reused while its stamp matches). zlib is
# Debian's ready-made libz-mingw-w64-dev.
#
# Outputs: build/windows (the project), build/windows-deps (sources, library builds, prefix),
# build/windows-wine (the Wine prefix the tests run in).
set -euo pipefail
cd "$(dirname "$0")/.."
ROOT=$PWD

RUN_TESTS=0
CTEST_ARGS=()
for arg in "$@"; do
  if [ "$arg" = --test ] && [ $RUN_TESTS -eq 0 ]; then
    RUN_TESTS=1
  else
    CTEST_ARGS+=("$arg")
  fi
done

JOBS=${HVE_JOBS:-2}
TOOLCHAIN=$ROOT/cmake/toolchains/mingw64.cmake
DEPS=$ROOT/build/windows-deps
PREFIX=$DEPS/prefix
BUILD=$ROOT/build/windows
TRIPLE=x86_64-w64-mingw32
ZLIB_LIB=/usr/$TRIPLE/lib/libz.a       # the full path: CMake would pick libz.dll.a otherwise
ZLIB_INC=/usr/$TRIPLE/include
# Bump when a library's build options change, so the cached prefix is rebuilt.
DEPS_STAMP_TEXT="deps-5 jansson mbedtls libwebsockets(client+server,ipv6,zlib) pugixml googletest"

T0=$SECONDS
timing() { echo "TIME $1 $(( SECONDS - $2 )) s"; }

scripts/setup-windows.sh

# ---- sources, through a private apt configuration ---------------------------------------
fetch_sources() {
  local apt=$DEPS/apt
  mkdir -p "$apt/sources.d" "$apt/lists/partial" "$DEPS/src"
  local sources=""
  for f in /etc/apt/sources.list.d/*.sources; do
    # deb-src entries built from the machine's own Debian entries: same archive, suites, keyring.
    grep -q '^URIs:.*/debian' "$f" 2>/dev/null || continue
    sed 's/^Types: deb$/Types: deb-src/' "$f" >"$apt/sources.d/$(basename "$f")"
    sources=yes
  done
  if [ -f /etc/apt/sources.list ]; then
    sed -n 's/^deb \(.*debian.*\)$/deb-src \1/p' /etc/apt/sources.list >"$apt/sources.d/from-sources-list.list"
    [ -s "$apt/sources.d/from-sources-list.list" ] && sources=yes
  fi
  [ -n "$sources" ] || { echo "build-windows: no Debian apt sources found" >&2; exit 1; }
  APTOPTS=(-o Dir::Etc::sourcelist=/dev/null -o "Dir::Etc::sourceparts=$apt/sources.d"
           -o "Dir::State::Lists=$apt/lists" -o APT::Sandbox::User=root)
  apt-get update -qq "${APTOPTS[@]}"
  (cd "$DEPS/src" && apt-get source -qq --download-only "${APTOPTS[@]}" \
      jansson mbedtls libwebsockets pugixml googletest)
  (cd "$DEPS/src" && for d in *.dsc; do dpkg-source -x --no-check "$d" >/dev/null; done)
}

srcdir() { # the extracted folder of a source package, e.g. jansson-2.14
  local dir
  dir=$(find "$DEPS/src" -mindepth 1 -maxdepth 1 -type d -name "$1-[0-9]*" | sort | tail -n 1)
  [ -n "$dir" ] || { echo "build-windows: source of $1 missing" >&2; exit 1; }
  echo "$dir"
}

build_lib() { # name, source dir, cmake options...
  local name=$1 src=$2; shift 2
  local t=$SECONDS
  cmake -S "$src" -B "$DEPS/build/$name" -G Ninja -DCMAKE_TOOLCHAIN_FILE="$TOOLCHAIN" \
    -DCMAKE_BUILD_TYPE=Release -DCMAKE_INSTALL_PREFIX="$PREFIX" -DHVE_WINDOWS_DEPS_PREFIX="$PREFIX" \
    -Wno-dev "$@" >"$DEPS/log-$name-configure.txt"
  cmake --build "$DEPS/build/$name" -j"$JOBS" >"$DEPS/log-$name-build.txt"
  cmake --install "$DEPS/build/$name" >"$DEPS/log-$name-install.txt"
  timing "$name" $t
}

build_deps() {
  rm -rf "$DEPS"
  local t=$SECONDS
  fetch_sources
  timing fetch $t

  build_lib jansson "$(srcdir jansson)" \
    -DJANSSON_BUILD_SHARED_LIBS=OFF -DJANSSON_BUILD_DOCS=OFF -DJANSSON_EXAMPLES=OFF \
    -DJANSSON_WITHOUT_TESTS=ON -DUSE_URANDOM=OFF -DUSE_WINDOWS_CRYPTOAPI=ON

  build_lib mbedtls "$(srcdir mbedtls)" \
    -DUSE_STATIC_MBEDTLS_LIBRARY=ON -DUSE_SHARED_MBEDTLS_LIBRARY=OFF \
    -DENABLE_PROGRAMS=OFF -DENABLE_TESTING=OFF

  # Client for the module, server for the simulator, IPv6 as Debian builds it; Windows builds
  # bundle zlib by default, Debian's Windows zlib is used instead.
  build_lib libwebsockets "$(srcdir libwebsockets)" \
    -DLWS_IPV6=ON -DLWS_WITH_STATIC=ON -DLWS_WITH_SHARED=OFF -DLWS_WITH_SSL=OFF \
    -DLWS_WITHOUT_SERVER=OFF -DLWS_WITHOUT_CLIENT=OFF -DLWS_WITHOUT_TESTAPPS=ON \
    -DLWS_WITH_MINIMAL_EXAMPLES=OFF -DLWS_WITH_HTTP2=OFF -DLWS_ROLE_RAW_FILE=OFF \
    -DLWS_UNIX_SOCK=OFF -DLWS_WITH_LEJP=OFF -DLWS_WITH_SYS_SMD=OFF \
    -DLWS_WITH_ZLIB=ON -DLWS_WITH_BUNDLED_ZLIB=OFF -DLWS_WITHOUT_EXTENSIONS=OFF \
    -DLWS_ZLIB_LIBRARIES="$ZLIB_LIB" -DLWS_ZLIB_INCLUDE_DIRS="$ZLIB_INC" \
    -DLWS_CTEST_INTERNET_AVAILABLE=OFF

  build_lib pugixml "$(srcdir pugixml)" -DBUILD_SHARED_LIBS=OFF -DPUGIXML_BUILD_TESTS=OFF

  build_lib googletest "$(srcdir googletest)" -DBUILD_GMOCK=ON -DINSTALL_GTEST=ON \
    -DBUILD_SHARED_LIBS=OFF -Dgtest_force_shared_crt=OFF

  echo "$DEPS_STAMP_TEXT" >"$PREFIX/.hve-deps-stamp"
}

if [ "$(cat "$PREFIX/.hve-deps-stamp" 2>/dev/null)" != "$DEPS_STAMP_TEXT" ]; then
  build_deps
else
  echo "build-windows: reusing libraries in $PREFIX"
fi

# ---- the project -----------------------------------------------------------------------
t=$SECONDS
# Every program and DLL in one folder: Windows finds a program's DLLs (the GUI library
# stand-in among them) beside it.
cmake -S "$ROOT" -B "$BUILD" -G Ninja -DCMAKE_TOOLCHAIN_FILE="$TOOLCHAIN" \
  -DCMAKE_BUILD_TYPE=RelWithDebInfo -DHVE_WINDOWS_DEPS_PREFIX="$PREFIX" \
  -DCMAKE_RUNTIME_OUTPUT_DIRECTORY="$BUILD/bin" -DHVE_BUILD_BENCH=OFF >/dev/null
cmake --build "$BUILD" -j"$JOBS"
timing project $t

# What a Haven user installs (the build packs it): the stripped module alone, dropped into
# the host's extension folder. Its debug information stays in bin/HVEOBSRemote.dll.debug.
echo "build-windows: $BUILD/HVEOBSRemote-win64.zip"

if [ $RUN_TESTS -eq 0 ]; then
  timing total $T0
  exit 0
fi

# ---- tests under Wine ------------------------------------------------------------------
# Tests that need a plug-in to talk to start the simulator themselves, in-process: under
# Wine that is the Windows build of the simulator library, serving on the loopback.
export WINEPREFIX=$ROOT/build/windows-wine WINEARCH=win64 WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
unset DISPLAY
t=$SECONDS
if [ ! -f "$WINEPREFIX/system.reg" ]; then
  wineboot --init >/dev/null 2>&1 </dev/null
  wineserver -w
fi
# A persistent server whose services are already up: otherwise services started inside a
# test inherit ctest's output pipe and ctest waits for them until the server ends.
# (A server left running by an earlier run answers with an error; it serves as well.)
wineserver -p 2>/dev/null || true
trap 'wineserver -k >/dev/null 2>&1 || true' EXIT
wine cmd /c exit >/dev/null 2>&1 </dev/null
timing wine-boot $t

t=$SECONDS
rc=0
ctest --test-dir "$BUILD" -j"$JOBS" --output-on-failure --timeout 300 "${CTEST_ARGS[@]}" || rc=$?
timing tests $t
timing total $T0
exit $rc
