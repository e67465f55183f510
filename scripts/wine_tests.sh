#!/usr/bin/env bash
# The Windows build, tested like the Linux one: cross-builds the programs and
# the GoogleTest suites with mingw-w64 and runs them under Wine in a fresh
# prefix on a virtual display: the suites, lzx.exe against the Linux lzx,
# lzx.exe as a console tool, and vorn-update.exe end to end. Fails when any
# of it fails. Installs what it needs with apt-get when missing.
#
# The product is the 32-bit build (cmake/mingw-i686.cmake). Where the kernel
# cannot run 32-bit code at all (some virtual machines), Wine cannot either:
# the 32-bit build is then only compiled, and the same sources are tested as
# a 64-bit Windows build (cmake/mingw-x86_64.cmake) under 64-bit Wine.
#
# Usage: wine_tests.sh [--docs]   (--docs: copy the pictures into docs/)
set -euo pipefail
cd "$(dirname "$0")/.."
root=$(pwd)
started=$(date +%s)

source "$root/scripts/packages.sh"
need_build_tools
need_windows_tools
install_needed

linux="$root/build-release"  # the Linux reference programs
[ -f "$linux/CMakeCache.txt" ] ||
  cmake -S "$root" -B "$linux" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build "$linux" --target vorn-update vorn-demo-product lzx >/dev/null

if /usr/lib/wine/wine --version >/dev/null 2>&1; then
  arch=i686 WINE=/usr/lib/wine/wine
else
  arch=x86_64 WINE=/usr/lib/wine/wine64
  echo "== this machine cannot execute 32-bit code: the 32-bit build is compiled, and its"
  echo "   sources are tested as a 64-bit Windows build under 64-bit Wine"
fi
export WINE

echo "== windows cross build (mingw-w64 i686, the product)"
win32_tests=OFF
[ "$arch" = i686 ] && win32_tests=ON
cmake -S "$root" -B "$root/build-win32" -G Ninja -DCMAKE_BUILD_TYPE=Release \
  -DCMAKE_TOOLCHAIN_FILE="$root/cmake/mingw-i686.cmake" -DVORN_TESTS=$win32_tests \
  -DCMAKE_CROSSCOMPILING_EMULATOR="$WINE" >/dev/null
cmake --build "$root/build-win32"
build="$root/build-win32"
if [ "$arch" = x86_64 ]; then
  echo "== windows cross build (mingw-w64 x86_64, for the tests)"
  build="$root/build-win64"
  cmake -S "$root" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release \
    -DCMAKE_TOOLCHAIN_FILE="$root/cmake/mingw-x86_64.cmake" \
    -DCMAKE_CROSSCOMPILING_EMULATOR="$WINE" >/dev/null
  cmake --build "$build"
fi

# A virtual display with a window manager, and a fresh Wine prefix.
display=
for n in $(seq 90 140); do
  if [ ! -e "/tmp/.X$n-lock" ] && [ ! -e "/tmp/.X11-unix/X$n" ]; then
    display=$n
    break
  fi
done
[ -n "$display" ] || { echo "no free X display number"; exit 1; }
export DISPLAY=":$display" WINEPREFIX="$build/wineprefix" WINEDEBUG=-all
export WINEDLLOVERRIDES="mscoree,mshtml="  # no Mono or Gecko installer prompts
xvfb_pid= wm_pid=
cleanup() {
  WINEPREFIX="$build/wineprefix" wineserver -k 2>/dev/null || true
  [ -n "$wm_pid" ] && kill "$wm_pid" 2>/dev/null
  [ -n "$xvfb_pid" ] && kill "$xvfb_pid" 2>/dev/null
  return 0
}
trap cleanup EXIT
Xvfb "$DISPLAY" -screen 0 1024x768x24 -nolisten tcp >"$build/xvfb.log" 2>&1 &
xvfb_pid=$!
for _ in $(seq 100); do
  xdotool getdisplaygeometry >/dev/null 2>&1 && break
  sleep 0.1
done
openbox >"$build/openbox.log" 2>&1 &
wm_pid=$!
rm -rf "$WINEPREFIX"
echo "== fresh Wine prefix in $WINEPREFIX"
"$WINE" wineboot -i >/dev/null 2>&1
wineserver -w

fails=()
echo "== windows tests under Wine ($arch)"
ctest --test-dir "$build" -j "$(nproc)" --output-on-failure || fails+=("GoogleTest suites")
echo "== lzx.exe under Wine against the Linux lzx"
bash "$root/scripts/wine_smoke.sh" "$linux/tools/lzx/lzx" "$build/tools/lzx/lzx.exe" ||
  fails+=("lzx.exe round trips")
echo "== lzx.exe as a console tool"
bash "$root/scripts/wine_lzx.sh" "$linux/tools/lzx/lzx" "$build/tools/lzx/lzx.exe" ||
  fails+=("lzx.exe console behaviour")
echo "== vorn-update.exe end to end"
bash "$root/scripts/wine_e2e.sh" "$build" "$linux" "${1:-}" || fails+=("vorn-update.exe end to end")

echo "== Windows tests took $(($(date +%s) - started)) s"
if [ ${#fails[@]} -gt 0 ]; then
  printf 'FAILED under Wine: %s\n' "${fails[@]}"
  exit 1
fi
