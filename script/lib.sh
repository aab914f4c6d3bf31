# Shared by the scripts in this folder: where things are, package set-up, builds.
ROOT=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
BUILD=$ROOT/build

as_root() {
  if [ "$(id -u)" = 0 ]; then "$@"; else sudo "$@"; fi
}

# Installs whichever of the named Debian packages are missing, quietly. The
# package lists are refreshed once per run of script/test (or per script).
ensure_packages() {
  local missing=() package
  for package in "$@"; do
    dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q 'ok installed' || missing+=("$package")
  done
  [ ${#missing[@]} -eq 0 ] && return 0
  echo "Installing ${missing[*]}"
  if [ ! -e "${PORTCFG_APT_STAMP:-/nonexistent}" ]; then
    as_root env -u TMPDIR DEBIAN_FRONTEND=noninteractive apt-get update -qq
    [ -n "${PORTCFG_APT_STAMP:-}" ] && touch "$PORTCFG_APT_STAMP"
  fi
  as_root env -u TMPDIR DEBIAN_FRONTEND=noninteractive apt-get install -y -qq "${missing[@]}" >/dev/null
}

# Keeps what the tools write for themselves inside build/scratch rather than
# in /tmp and the home folder: the compilers', lintian's and the scripts'
# temporary files, Wine's server folder, Qt's runtime folder, font caches,
# the menu entries Wine makes. apt keeps the system's TMPDIR: its download
# sandbox could not write here, and PORTCFG_SYSTEM_TMPDIR keeps the system's
# for what must stay there.
confine_writes() {
  local scratch=$BUILD/scratch
  export PORTCFG_SYSTEM_TMPDIR=${PORTCFG_SYSTEM_TMPDIR:-${TMPDIR:-/tmp}}
  export TMPDIR=$scratch/tmp XDG_RUNTIME_DIR=$scratch/runtime XDG_CACHE_HOME=$scratch/cache \
    XDG_CONFIG_HOME=$scratch/config XDG_DATA_HOME=$scratch/data XDG_STATE_HOME=$scratch/state
  mkdir -p "$TMPDIR" "$XDG_CACHE_HOME" "$XDG_CONFIG_HOME" "$XDG_DATA_HOME" "$XDG_STATE_HOME"
  # Qt takes a runtime folder only when it is its user's alone.
  mkdir -p -m 700 "$XDG_RUNTIME_DIR"
}

BUILD_PACKAGES=(cmake ninja-build g++ googletest)
# The windows' fonts: Arial's metric twin, a sans font for the boxes (without
# one the system's sans is a wide monospace), a CJK font for the setup page's
# caption.
WINDOW_FONTS=(fonts-liberation fonts-dejavu-core fonts-droid-fallback)
# The native suite: the windows, offscreen, and the end-to-end tests' Apache.
NATIVE_PACKAGES=("${BUILD_PACKAGES[@]}" qt6-base-dev "${WINDOW_FONTS[@]}" apache2 iproute2)
# script/package: both Release builds, the icon's export, the deb's dependencies.
PACKAGE_PACKAGES=("${BUILD_PACKAGES[@]}" qt6-base-dev g++-mingw-w64-x86-64-posix imagemagick dpkg-dev file zip git)
# The Windows build and its run under Wine.
WINDOWS_PACKAGES=("${BUILD_PACKAGES[@]}" g++-mingw-w64-x86-64-posix wine wine64 fonts-liberation fonts-droid-fallback)
# The package leg: the packages' checks besides (polkitd: the policy's DTD).
PACKAGE_CHECK_PACKAGES=("${PACKAGE_PACKAGES[@]}" "${WINDOWS_PACKAGES[@]}" lintian desktop-file-utils libxml2-utils
  polkitd unzip)

# Starts a Wine prefix of a build's own, given by its path, for Windows
# programs without X: one server for the whole run, with Wine's own services
# started once and detached from our output (started by the first test
# instead, they would hold CTest's output pipe and every test would wait for
# them). Any program starts them, and makes the prefix if there is none;
# "wineboot --init" on a new prefix would start a second service manager, and
# every later start of RpcSs, which each window's first use of the desktop
# waits for, would then time out after 10 s. Then the null display driver, no
# crash dialog waiting for a click that never comes, Arial as its metric twin,
# and Wine's own fonts for the frames and boxes Wine draws, with a CJK font
# behind their captions. stop_wine ends the server.
start_wine() {
  export WINEPREFIX=$1 WINEDEBUG=-all
  unset DISPLAY WAYLAND_DISPLAY
  mkdir -p "$WINEPREFIX"
  (
    exec >/dev/null 2>&1 </dev/null
    wineserver -p
    wine cmd /c exit
  )
  local key name type value
  while IFS='|' read -r key name type value; do
    wine reg add "$key" /v "$name" /t "$type" /d "$value" /f </dev/null >/dev/null 2>&1
  done <<'SETTINGS'
HKCU\Software\Wine\Drivers|Graphics|REG_SZ|null
HKCU\Software\Wine\WineDbg|ShowCrashDialog|REG_DWORD|0
HKCU\Software\Wine\Fonts\Replacements|Arial|REG_SZ|Liberation Sans
HKLM\Software\Microsoft\Windows NT\CurrentVersion\FontLink\SystemLink|Tahoma Bold|REG_MULTI_SZ|DroidSansFallbackFull.ttf,Droid Sans Fallback
SETTINGS
  cp -n /usr/share/wine/fonts/* /usr/share/fonts/truetype/droid/DroidSansFallbackFull.ttf \
    "$WINEPREFIX/drive_c/windows/Fonts/"
}

stop_wine() {
  wineserver -k 2>/dev/null || true
}

# Prints "TEST: REASON" for each test that CTest's console log of a run lists
# as not run (skipped by the test itself or by CTest), the reason read from
# the test's output in CTest's log of every test: the line after GoogleTest's
# "FILE:LINE: Skipped", or the text after the function in QtTest's
# "SKIP   : FUNCTION(...) REASON"; else the test's first line of output; else
# CTest's word for it.
skipped_tests() {
  local console=$1 log=$2 test verdict
  [ -f "$console" ] || return 0
  sed -n '/^The following tests did not run:$/,/^$/s/^\t *[0-9]* - \(.*\) (\([^)]*\))$/\1\t\2/p' "$console" |
    while IFS=$'\t' read -r test verdict; do
      echo "$test: $(skip_reason "$log" "$test" "$verdict")"
    done
}

# The reason in the test's output, as skipped_tests says, from CTest's log.
skip_reason() {
  awk -v test="$2" -v verdict="$3" '
    /^[0-9]+\/[0-9]+ Testing: / { inside = substr($0, index($0, ": ") + 2) == test; next }
    !inside { next }
    /^<end of output>$/ { exit }
    $0 == "Output:" { output = 1; getline; next }
    !output { next }
    after_skipped { reason = $0; exit }
    /: Skipped$/ { after_skipped = 1; next }
    /^SKIP   : / { line = substr($0, 10); cut = index(line, ") "); reason = cut ? substr(line, cut + 2) : line; exit }
    first == "" { first = $0 }
    END { print reason != "" ? reason : first != "" ? first : verdict }
  ' "$1" 2>/dev/null
}

# Prints what skipped_tests found in a build's last run, for a person and for
# script/test's summary (the file PORTCFG_SKIPPED names, if any).
report_skipped() {
  local name=$1
  skipped_tests "$BUILD/$name/ctest.log" "$BUILD/$name/Testing/Temporary/LastTest.log" |
    sed "s/^/Skipped in $name: /" | tee -a "${PORTCFG_SKIPPED:-/dev/null}"
}

# Runs the tests of a build folder under build/; CTest keeps its console in
# ctest.log there and every test's whole output in its own log. The remaining
# arguments go to CTest. Skipped tests are printed.
run_tests() {
  local name=$1; shift
  local status=0
  rm -f "$BUILD/$name/ctest.log"
  ctest --test-dir "$BUILD/$name" --output-on-failure --timeout 300 --output-log "$BUILD/$name/ctest.log" \
    --test-output-size-passed 1048576 --test-output-size-failed 1048576 "$@" || status=$?
  report_skipped "$name"
  return "$status"
}

# What the native legs share before their build: the packages, and the
# core's tests' temporary folders. Those tests hand a file to nobody, who must
# reach its folder; the clone may lie in one only its owner may enter (/root),
# so those folders, which the tests remove, stay in the system's.
prepare_native_leg() {
  confine_writes
  export TMPDIR=$PORTCFG_SYSTEM_TMPDIR
  ensure_packages "${NATIVE_PACKAGES[@]}"
}

# Configures, builds and runs the tests of one build folder under build/.
# The remaining arguments go to CMake.
build_and_test() {
  local name=$1; shift
  cmake -S "$ROOT" -B "$BUILD/$name" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DPORTCFG_WERROR=ON "$@" >/dev/null
  cmake --build "$BUILD/$name"
  run_tests "$name"
}
