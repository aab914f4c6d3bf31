# The release packages as their users meet them. script/package builds both;
# then the deb: lintian finds no error, it unpacks to exactly its files, its
# menu entries validate, its icons are the windows' picture, and each program,
# started offscreen with no server tree, shows only "Can't find httpd.conf!"
# and ends with exit code 2. The zip: exactly the two exes and the readme, and
# each exe under Wine does the same and leaves the probe's two files on C:.
set -euo pipefail
. "$(dirname "$0")/../lib.sh"
ensure_packages "${PACKAGE_CHECK_PACKAGES[@]}"

SCRATCH=$(mktemp -d)
trap 'rm -rf "$SCRATCH"' EXIT

fail() {
  echo "60-package: $*" >&2
  exit 1
}

# Compares the sorted list on stdin with the arguments.
expect_files() {
  local holder=$1; shift
  diff <(printf '%s\n' "$@") - >&2 || fail "$holder does not hold exactly the expected files"
}

# A program's run, from the record of its message boxes (a title line and a
# text line each) and its exit code, both as its user would see them.
expect_missing_tree_run() {
  local program=$1 boxes=$2 code=$3
  [ "$boxes" = "$(printf '%s\n' "$(head -n 1 <<<"$boxes")" "Can't find httpd.conf!")" ] ||
    fail "$program, with no server tree, showed these boxes instead of the missing-file one:"$'\n'"$boxes"
  [ "$code" -eq 2 ] || fail "$program, with no server tree, ended with exit code $code, not 2"
}

check_deb() {
  local deb root=$SCRATCH/deb program code
  deb=$(echo "$BUILD"/packages/portconfig_*_amd64.deb)
  lintian --fail-on error "$deb" || fail "lintian found errors in $deb"
  dpkg -x "$deb" "$root"
  local theme=./usr/share/icons/hicolor
  (cd "$root" && find . ! -type d | sort) | expect_files "$deb" \
    ./usr/bin/portchange ./usr/bin/portsetup \
    ./usr/share/applications/portchange.desktop ./usr/share/applications/portsetup.desktop \
    ./usr/share/doc/portconfig/changelog.gz ./usr/share/doc/portconfig/copyright \
    $theme/16x16/apps/portconfig.png $theme/256x256/apps/portconfig.png \
    $theme/32x32/apps/portconfig.png $theme/48x48/apps/portconfig.png
  desktop-file-validate --no-hints "$root"/usr/share/applications/*.desktop || fail "a desktop entry is not valid"

  local icon=$ROOT/gui/computer.ico frame width
  while read -r frame width; do
    [ "$(compare -metric AE "$icon[$frame]" "$root/$theme/${width}x$width/apps/portconfig.png" null: 2>&1)" = 0 ] ||
      fail "the ${width} px icon is not the windows' picture"
  done < <(identify -format '%p %w\n' "$icon")

  # No server tree: /usr/local is an empty folder in a mount namespace of the
  # program's own. The hook answers its boxes.
  cmake --build "$BUILD/package-linux" --target message_box_hook >/dev/null
  for program in portsetup portchange; do
    : >"$SCRATCH/boxes"
    QT_QPA_PLATFORM=offscreen PORTCFG_BOX_FILE=$SCRATCH/boxes timeout 60 \
      unshare --map-root-user --mount sh -c 'mount -t tmpfs tmpfs /usr/local && exec env LD_PRELOAD="$1" "$2"' \
      sh "$BUILD/package-linux/tests/package/libmessage_box_hook.so" "$root/usr/bin/$program" 2>"$SCRATCH/stderr" &&
      code=0 || code=$?
    [ "$code" -le 2 ] || cat "$SCRATCH/stderr" >&2
    expect_missing_tree_run "$program (deb)" "$(cat "$SCRATCH/boxes")" "$code"
  done
}

# A Wine prefix of the leg's own, with no display and no crash dialog.
start_wine() {
  export WINEPREFIX=$BUILD/package-windows/wineprefix WINEDEBUG=-all
  unset DISPLAY WAYLAND_DISPLAY
  mkdir -p "$WINEPREFIX"
  trap 'wineserver -k 2>/dev/null || true; rm -rf "$SCRATCH"' EXIT
  # One server for the leg, its start detached from our output so no helper
  # holds it open. It is started again once the prefix is set up: a new
  # prefix's desktop came up before the null display driver was chosen, and
  # without it no program could open a window.
  (
    exec >/dev/null 2>&1 </dev/null
    wineserver -p || true
    wine wineboot --init &&
      wine reg add 'HKCU\Software\Wine\Drivers' /v Graphics /d null /f &&
      wine reg add 'HKCU\Software\Wine\WineDbg' /v ShowCrashDialog /t REG_DWORD /d 0 /f &&
      wineserver -k && wineserver -w && wineserver -p
  ) || fail "could not set up the Wine prefix $WINEPREFIX"
}

check_zip() {
  local zip folder root=$SCRATCH/zip program boxes code
  zip=$(echo "$BUILD"/packages/portconfig-*-win64.zip)
  folder=$(basename "$zip" .zip)
  unzip -Z1 "$zip" | grep -v '/$' | sort | expect_files "$zip" \
    "$folder/README.txt" "$folder/portchange.exe" "$folder/portsetup.exe"
  unzip -q "$zip" -d "$root"
  # For Notepad: CRLF line ends throughout.
  ! grep -q $'[^\r]$' "$root/$folder/README.txt" || fail "the zip's README.txt has lines not ended by CRLF"

  cmake --build "$BUILD/package-windows" --target box_watcher >/dev/null
  start_wine
  for program in portsetup portchange; do
    rm -f "$WINEPREFIX/drive_c/testport.bat" "$WINEPREFIX/drive_c/netstat.log"
    boxes=$(timeout 60 wine "$BUILD/package-windows/bin/box_watcher.exe" "$(winepath -w "$root/$folder/$program.exe")" | tr -d '\r') &&
      code=0 || code=$?
    expect_missing_tree_run "$program.exe (zip)" "$boxes" "$code"
    [ -f "$WINEPREFIX/drive_c/testport.bat" ] && [ -f "$WINEPREFIX/drive_c/netstat.log" ] ||
      fail "$program.exe left no c:\\testport.bat and c:\\netstat.log"
  done
}

"$ROOT/script/package"
check_deb
check_zip
