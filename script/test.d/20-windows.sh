# The Windows build: the core and its tests cross-built with mingw-w64 and run
# under Wine, in a Wine prefix of the build's own. The windowed programs are
# not built here (Debian has no Qt for mingw-w64).
set -euo pipefail
. "$(dirname "$0")/../lib.sh"
ensure_packages "${BUILD_PACKAGES[@]}" g++-mingw-w64-x86-64-posix wine wine64

started=$SECONDS
export WINEPREFIX=$BUILD/windows/wineprefix WINEDEBUG=-all
unset DISPLAY WAYLAND_DISPLAY
mkdir -p "$WINEPREFIX"

# One server for the whole run, with Wine's own services started once and
# detached from our output: started by the first test instead, they would hold
# CTest's output pipe and every test would wait for them.
trap 'wineserver -k 2>/dev/null || true' EXIT
(
  exec >/dev/null 2>&1 </dev/null
  wineserver -p
  wine wineboot --init
)

build_and_test windows -DCMAKE_TOOLCHAIN_FILE="$ROOT/cmake/mingw-w64.cmake" -DPORTCFG_WITH_QT=OFF
tests=$(ctest --test-dir "$BUILD/windows" -N | sed -n 's/^Total Tests: //p')
echo "Windows leg: $tests tests ran under Wine in $((SECONDS - started)) s"
