#!/usr/bin/env bash
# Builds everything from nothing and runs every test: a normal build, an
# ASan+UBSan build, and the 32-bit Windows cross build (with its tests under
# Wine when Wine is present). Installs what it needs with apt-get when missing.
set -euo pipefail
cd "$(dirname "$0")/.."
root=$(pwd)

source "$root/scripts/packages.sh"
need_build_tools
[ -f /usr/include/gtest/gtest.h ] || need_pkgs+=(libgtest-dev libgmock-dev)
[ -f /usr/include/benchmark/benchmark.h ] || need_pkgs+=(libbenchmark-dev)
[ -f /usr/include/zlib.h ] || need_pkgs+=(zlib1g-dev)
have i686-w64-mingw32-g++-posix || need_pkgs+=(g++-mingw-w64-i686)
install_needed

jobs=$(nproc)
run_suite() {  # name, extra cmake args...
  local name=$1; shift
  echo "== $name build"
  cmake -S "$root" -B "$root/build-$name" -G Ninja "$@" >/dev/null
  cmake --build "$root/build-$name" -j "$jobs"
  echo "== $name tests"
  ctest --test-dir "$root/build-$name" -j "$jobs" --output-on-failure
}

run_suite release -DCMAKE_BUILD_TYPE=Release -DVORN_BENCH=ON
bash "$root/scripts/example.sh" "$root/build-release"
ASAN_OPTIONS=detect_leaks=1 UBSAN_OPTIONS=print_stacktrace=1 \
  run_suite sanitize -DCMAKE_BUILD_TYPE=Debug -DVORN_SANITIZE=ON
bash "$root/scripts/fuzz.sh"

echo "== windows cross build (mingw-w64 i686)"
cmake -S "$root" -B "$root/build-win32" -G Ninja -DCMAKE_BUILD_TYPE=Release \
  -DCMAKE_TOOLCHAIN_FILE="$root/cmake/mingw-i686.cmake" >/dev/null
cmake --build "$root/build-win32" -j "$jobs"
if command -v wine >/dev/null 2>&1; then
  echo "== windows build under Wine"
  bash "$root/scripts/wine_smoke.sh" "$root/build-release/tools/lzx/lzx" "$root/build-win32/tools/lzx/lzx.exe"
else
  echo "== Wine not installed: the Windows build was compiled, not run"
fi
echo "== all done"
