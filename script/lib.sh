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
# The native suite: the windows (offscreen, with Arial's metric twin and a CJK
# font for the setup page's caption) and the end-to-end tests' Apache.
NATIVE_PACKAGES=("${BUILD_PACKAGES[@]}" qt6-base-dev fonts-liberation fonts-droid-fallback apache2 iproute2)
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

# Prints "TEST: REASON" for each test of a CTest JUnit file that was skipped.
# The reason is the line after GoogleTest's "FILE:LINE: Skipped", or else the
# first line the test printed.
skipped_tests() {
  [ -f "$1" ] || return 0
  awk '
    /<testcase / { match($0, /name="[^"]*"/); name = substr($0, RSTART + 6, RLENGTH - 7); skipped = 0 }
    /<skipped/ { skipped = 1 }
    skipped && /<system-out>/ { output = 1; first = ""; reason = ""; next_is_reason = 0; sub(/.*<system-out>/, "") }
    output {
      ended = sub(/<\/system-out>.*/, "")
      gsub(/&quot;/, "\""); gsub(/&apos;/, "\047"); gsub(/&lt;/, "<"); gsub(/&gt;/, ">"); gsub(/&amp;/, "\\&")
      if (first == "") first = $0
      if (next_is_reason) { reason = $0; next_is_reason = 0 }
      if (/: Skipped$/) next_is_reason = 1
      if (ended) { print name ": " (reason != "" ? reason : first); output = 0; skipped = 0 }
    }' "$1"
}

# Configures, builds and runs the tests of one build folder under build/.
# The remaining arguments go to CMake. Skipped tests are printed, and added to
# the file PORTCFG_SKIPPED names (script/test's summary), if any.
build_and_test() {
  local name=$1; shift
  local results=$BUILD/$name/ctest-results.xml status=0
  cmake -S "$ROOT" -B "$BUILD/$name" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DPORTCFG_WERROR=ON "$@" >/dev/null
  cmake --build "$BUILD/$name"
  rm -f "$results"
  ctest --test-dir "$BUILD/$name" --output-on-failure --timeout 300 --output-junit "$results" || status=$?
  skipped_tests "$results" | sed "s/^/Skipped in $name: /" | tee -a "${PORTCFG_SKIPPED:-/dev/null}"
  return "$status"
}
