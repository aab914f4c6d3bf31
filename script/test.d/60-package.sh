# The release packages as their users meet them, and as a distribution would
# take them. script/package builds both, and a second build, of a copy of the
# tree in another folder, must give the same bytes. The deb: lintian finds no
# warning, it unpacks to exactly its files, its menu entries and pkexec policy
# validate and name the packaged programs, its icons are the windows' picture,
# and each program, started offscreen with no server tree, shows only "Can't
# find httpd.conf!" and ends with exit code 2. The zip: exactly the two exes
# and a readme with CRLF line ends, and the Windows program test (its tests
# labelled program_tests in CTest) drives its exes under Wine. The deb's and
# the zip's checks each run whatever became of the other's.
set -euo pipefail
. "$(dirname "$0")/../lib.sh"
confine_writes
ensure_packages "${PACKAGE_CHECK_PACKAGES[@]}"

SCRATCH=$(mktemp -d)
trap 'rm -rf "$SCRATCH"' EXIT

fail() {
  echo "60-package: $*" >&2
  exit 1
}

# Lists a part of the leg that could not run here, with the reason, in
# script/test's summary too.
skip() {
  echo "Skipped in 60-package: $*" | tee -a "${PORTCFG_SKIPPED:-/dev/null}"
}

# Compares the sorted list on stdin with the arguments.
expect_files() {
  local holder=$1; shift
  diff <(printf '%s\n' "$@") - >&2 || fail "$holder does not hold exactly the expected files"
}

# Copies the tree's files, tracked or new, as they are now, with today's
# times, to another folder, packs them there and compares the packages.
check_reproducible() {
  local copy=$BUILD/package-again package
  rm -rf "$copy"
  mkdir -p "$copy"
  (cd "$ROOT" && git ls-files -z --cached --others --exclude-standard |
    tar --null --files-from=- --ignore-failed-read -cf -) | tar -xmf - -C "$copy"
  "$copy/script/package" >/dev/null
  for package in "$BUILD"/packages/*; do
    cmp "$package" "$copy/build/packages/${package##*/}" ||
      fail "two builds of one tree gave different ${package##*/}: compare $package with the one in $copy/build/packages"
  done
  echo "Built again in $copy: the same bytes."
}

check_deb() {
  local deb root=$SCRATCH/deb program code
  deb=$(echo "$BUILD"/packages/portconfig_*_amd64.deb)
  # Informational notes may stay: CPack's strip leaves the compilers' notes
  # in the programs' .comment section. The package's lintian overrides say
  # why its menu entries name a command it does not hold (pkexec).
  lintian -I --fail-on error,warning "$deb" || fail "lintian found warnings or errors in $deb"
  dpkg -x "$deb" "$root"
  local theme=./usr/share/icons/hicolor
  (cd "$root" && find . ! -type d | LC_ALL=C sort) | expect_files "$deb" \
    ./usr/bin/portchange ./usr/bin/portsetup \
    ./usr/share/applications/portchange.desktop ./usr/share/applications/portsetup.desktop \
    ./usr/share/doc/portconfig/changelog.gz ./usr/share/doc/portconfig/copyright \
    $theme/16x16/apps/portconfig.png $theme/256x256/apps/portconfig.png \
    $theme/32x32/apps/portconfig.png $theme/48x48/apps/portconfig.png \
    ./usr/share/lintian/overrides/portconfig \
    ./usr/share/man/man1/portchange.1.gz ./usr/share/man/man1/portsetup.1.gz \
    ./usr/share/polkit-1/actions/example.portconfig.policy

  # Each menu entry starts its program through pkexec, which runs only what
  # an action of the policy names by its path: with its window, on an
  # administrator's password, kept a while.
  local policy=$root/usr/share/polkit-1/actions/example.portconfig.policy action
  desktop-file-validate --no-hints "$root"/usr/share/applications/*.desktop || fail "a desktop entry is not valid"
  xmllint --noout --nonet --dtdvalid /usr/share/polkit-1/policyconfig-1.dtd "$policy" ||
    fail "the pkexec policy is not valid"
  for program in portsetup portchange; do
    grep -qx "Exec=pkexec /usr/bin/$program" "$root/usr/share/applications/$program.desktop" ||
      fail "the menu entry of $program does not start /usr/bin/$program through pkexec"
    action="//action[annotate[@key='org.freedesktop.policykit.exec.path']='/usr/bin/$program']"
    [ "$(xmllint --xpath "string($action/defaults/allow_active)" "$policy")" = auth_admin_keep ] &&
      [ "$(xmllint --xpath "string($action/annotate[@key='org.freedesktop.policykit.exec.allow_gui'])" "$policy")" = true ] ||
      fail "the pkexec policy has no action running /usr/bin/$program with its window on an administrator's password"
  done

  local icon=$ROOT/gui/computer.ico frame width
  while read -r frame width; do
    [ "$(compare -metric AE "$icon[$frame]" "$root/$theme/${width}x$width/apps/portconfig.png" null: 2>&1)" = 0 ] ||
      fail "the ${width} px icon is not the windows' picture"
  done < <(identify -format '%p %w\n' "$icon")

  # No server tree: /usr/local is an empty folder in a mount namespace of the
  # program's own, made by root directly and by anyone else in a user
  # namespace. Where neither may be made (a chroot refuses both), the program
  # runs as it is when this machine has no tree. The hook answers its boxes.
  local namespace=(--mount) refusal runner
  [ "$(id -u)" = 0 ] || namespace=(--map-root-user --mount)
  if refusal=$(unshare "${namespace[@]}" true 2>&1); then
    runner=(unshare "${namespace[@]}" sh -c 'mount -t tmpfs tmpfs /usr/local && exec "$@"' sh)
  elif [ ! -e /usr/local/apache2 ]; then
    runner=()
  else
    skip "the deb's programs with no server tree: /usr/local/apache2 is there, and" \
      "unshare ${namespace[*]}, to hide it, is refused here ($refusal)"
    return 0
  fi
  cmake --build "$BUILD/package-linux" --target message_box_hook
  for program in portsetup portchange; do
    : >"$SCRATCH/boxes"
    QT_QPA_PLATFORM=offscreen PORTCFG_BOX_FILE=$SCRATCH/boxes timeout 60 "${runner[@]}" \
      env LD_PRELOAD="$BUILD/package-linux/tests/package/libmessage_box_hook.so" "$root/usr/bin/$program" \
      2>"$SCRATCH/stderr" && code=0 || code=$?
    [ "$code" -le 2 ] || cat "$SCRATCH/stderr" >&2
    # A title line and a text line for each box.
    [ "$(sed -n 2,\$p "$SCRATCH/boxes")" = "Can't find httpd.conf!" ] ||
      fail "$program (deb), with no server tree, showed these boxes instead of the missing-file one:"$'\n'"$(cat "$SCRATCH/boxes")"
    [ "$code" -eq 2 ] || fail "$program (deb), with no server tree, ended with exit code $code, not 2"
  done
}

check_zip() {
  local zip folder root=$SCRATCH/zip
  zip=$(echo "$BUILD"/packages/portconfig-*-win64.zip)
  folder=$(basename "$zip" .zip)
  unzip -Z1 "$zip" | grep -v '/$' | LC_ALL=C sort | expect_files "$zip" \
    "$folder/README.txt" "$folder/portchange.exe" "$folder/portsetup.exe"
  unzip -q "$zip" -d "$root"
  # For Notepad: CRLF line ends throughout.
  ! grep -q $'[^\r]$' "$root/$folder/README.txt" || fail "the zip's README.txt has lines not ended by CRLF"

  # The program test of the Windows build, through CTest, on the zip's exes
  # rather than the ones built beside it; it also leaves the probe's two
  # files on C:.
  trap stop_wine EXIT
  start_wine "$BUILD/package-windows/wineprefix"
  cmake --build "$BUILD/package-windows" --target program_tests
  rm -f "$WINEPREFIX/drive_c/testport.bat" "$WINEPREFIX/drive_c/netstat.log"
  PORTCFG_PROGRAMS=$(winepath -w "$root/$folder") run_tests package-windows -L '^program_tests$' ||
    fail "the zip's exes failed the program test"
  [ -f "$WINEPREFIX/drive_c/testport.bat" ] && [ -f "$WINEPREFIX/drive_c/netstat.log" ] ||
    fail "the zip's exes left no c:\\testport.bat and c:\\netstat.log"
}

# One commit time for both builds, as a distribution's build of the commit.
SOURCE_DATE_EPOCH=${SOURCE_DATE_EPOCH:-$(git -C "$ROOT" log -1 --format=%ct)}
export SOURCE_DATE_EPOCH
"$ROOT/script/package"
check_reproducible
# Each in a job of its own, so that a failing command ends only its part.
status=0
check_deb &
wait $! || status=1
check_zip &
wait $! || status=1
exit "$status"
