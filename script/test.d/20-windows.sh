# The Windows build: the core, the Win32 programs and their tests cross-built
# with mingw-w64 and run under Wine, in a Wine prefix of the build's own and
# without X. Then the programs' size and the DLLs they import are checked, and
# the windows' screenshots are turned into PNGs.
set -euo pipefail
. "$(dirname "$0")/../lib.sh"
ensure_packages "${BUILD_PACKAGES[@]}" g++-mingw-w64-x86-64-posix wine wine64 fonts-liberation fonts-droid-fallback \
  imagemagick

# A shipped program must fit in this, stripped, and need no DLL but these.
SIZE_LIMIT=$((512 * 1024))
SYSTEM_DLLS="kernel32.dll user32.dll gdi32.dll comctl32.dll advapi32.dll iphlpapi.dll msvcrt.dll"

started=$SECONDS
OUT=$BUILD/windows
export WINEPREFIX=$OUT/wineprefix WINEDEBUG=-all
unset DISPLAY WAYLAND_DISPLAY
mkdir -p "$WINEPREFIX"

# One server for the whole run, with Wine's own services started once and
# detached from our output: started by the first test instead, they would hold
# CTest's output pipe and every test would wait for them. Any program starts
# them, and makes the prefix if there is none; "wineboot --init" on a new
# prefix would start a second service manager, and every later start of
# RpcSs, which each window's first use of the desktop waits for, would then
# time out after 10 s.
trap 'wineserver -k 2>/dev/null || true' EXIT
(
  exec >/dev/null 2>&1 </dev/null
  wineserver -p
  wine cmd /c exit
)

# Windows without X: the null display driver, no crash dialog waiting for a
# click that never comes, Arial as its metric twin, and Wine's own fonts for
# the frames and boxes Wine draws, with a CJK font behind their captions.
setting() { wine reg add "$1" /v "$2" /t "$3" /d "$4" /f >/dev/null 2>&1; }
setting 'HKCU\Software\Wine\Drivers' Graphics REG_SZ null
setting 'HKCU\Software\Wine\WineDbg' ShowCrashDialog REG_DWORD 0
setting 'HKCU\Software\Wine\Fonts\Replacements' Arial REG_SZ 'Liberation Sans'
setting 'HKLM\Software\Microsoft\Windows NT\CurrentVersion\FontLink\SystemLink' 'Tahoma Bold' REG_MULTI_SZ \
  'DroidSansFallbackFull.ttf,Droid Sans Fallback'
cp -n /usr/share/wine/fonts/* /usr/share/fonts/truetype/droid/DroidSansFallbackFull.ttf \
  "$WINEPREFIX/drive_c/windows/Fonts/"

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
