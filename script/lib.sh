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
    as_root env DEBIAN_FRONTEND=noninteractive apt-get update -qq
    [ -n "${PORTCFG_APT_STAMP:-}" ] && touch "$PORTCFG_APT_STAMP"
  fi
  as_root env DEBIAN_FRONTEND=noninteractive apt-get install -y -qq "${missing[@]}" >/dev/null
}

BUILD_PACKAGES=(cmake ninja-build g++ googletest)
# The native suite: the windows (offscreen, with Arial's metric twin and a CJK
# font for the setup page's caption) and the end-to-end tests' Apache.
NATIVE_PACKAGES=("${BUILD_PACKAGES[@]}" qt6-base-dev fonts-liberation fonts-droid-fallback apache2 iproute2)
# script/package: both Release builds, the icon's export, the deb's dependencies.
PACKAGE_PACKAGES=("${BUILD_PACKAGES[@]}" qt6-base-dev g++-mingw-w64-x86-64-posix imagemagick dpkg-dev file)
# The package leg: the packages' checks besides.
PACKAGE_CHECK_PACKAGES=("${PACKAGE_PACKAGES[@]}" lintian desktop-file-utils unzip wine wine64)

# Prints "TEST: REASON" for each test of a CTest JUnit file that was skipped;
# the reason is the first line the test printed.
skipped_tests() {
  [ -f "$1" ] || return 0
  awk '
    /<testcase / { match($0, /name="[^"]*"/); name = substr($0, RSTART + 6, RLENGTH - 7); skipped = 0 }
    /<skipped/ { skipped = 1 }
    skipped && /<system-out>/ {
      sub(/.*<system-out>/, ""); sub(/<\/system-out>.*/, "")
      gsub(/&quot;/, "\""); gsub(/&apos;/, "\047"); gsub(/&lt;/, "<"); gsub(/&gt;/, ">"); gsub(/&amp;/, "\\&")
      print name ": " $0; skipped = 0
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
