# The Windows build: the core, the Win32 programs and their tests cross-built
# with mingw-w64 and run under Wine, in a Wine prefix of the build's own and
# without X. Then the programs' size and the DLLs they import are checked, and
# the windows' screenshots are turned into PNGs.
set -euo pipefail
. "$(dirname "$0")/../lib.sh"
confine_writes
ensure_packages "${WINDOWS_PACKAGES[@]}" imagemagick

# A shipped program must fit in this, stripped, and need no DLL but these.
SIZE_LIMIT=$((512 * 1024))
SYSTEM_DLLS="kernel32.dll user32.dll gdi32.dll comctl32.dll advapi32.dll iphlpapi.dll msvcrt.dll"

started=$SECONDS
OUT=$BUILD/windows
trap stop_wine EXIT
start_wine "$OUT/wineprefix"

rm -rf "$OUT/screenshots"
build_and_test windows -DCMAKE_TOOLCHAIN_FILE="$ROOT/cmake/mingw-w64.cmake" -DPORTCFG_WITH_QT=OFF
tests=$(ctest --test-dir "$OUT" -N | sed -n 's/^Total Tests: //p')

for program in portsetup portchange; do
  stripped=$OUT/stripped/$program.exe
  mkdir -p "$OUT/stripped"
  x86_64-w64-mingw32-strip -o "$stripped" "$OUT/bin/$program.exe"
  size=$(stat -c %s "$stripped")
  dlls=$(x86_64-w64-mingw32-objdump -p "$stripped" | sed -n 's/^\tDLL Name: //p' | tr 'A-Z' 'a-z' | sort | tr '\n' ' ')
  echo "$program.exe: $((size / 1024)) KiB stripped, imports $dlls"
  # Without its manifest a program would run unelevated and fail at its first write.
  if ! grep -q 'requireAdministrator' "$stripped"; then
    echo "$program.exe carries no manifest asking for elevation" >&2
    exit 1
  fi
  if [ "$size" -gt "$SIZE_LIMIT" ]; then
    echo "$program.exe is larger than $((SIZE_LIMIT / 1024)) KiB" >&2
    exit 1
  fi
  for dll in $dlls; do
    case " $SYSTEM_DLLS " in *" $dll "*) ;; *)
      echo "$program.exe imports $dll, which is not one of Windows' own DLLs" >&2
      exit 1
      ;;
    esac
  done
done

for shot in "$OUT"/screenshots/*.ppm; do
  convert "$shot" "${shot%.ppm}.png" && rm "$shot"
done
echo "Screenshots:" "$OUT"/screenshots/*.png
echo "Windows leg: $tests tests ran under Wine in $((SECONDS - started)) s"
