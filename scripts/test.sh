#!/usr/bin/env bash
# Builds everything from nothing and runs every test: a normal build, an
# ASan+UBSan build, a ThreadSanitizer build, and the Windows cross build
# with its tests under Wine.
# Installs what it needs with apt-get when missing.
set -euo pipefail
cd "$(dirname "$0")/.."
root=$(pwd)

source "$root/scripts/packages.sh"
need_build_tools
[ -f /usr/include/gtest/gtest.h ] || need_pkgs+=(libgtest-dev libgmock-dev)
[ -f /usr/include/benchmark/benchmark.h ] || need_pkgs+=(libbenchmark-dev)
[ -f /usr/include/zlib.h ] || need_pkgs+=(zlib1g-dev)
install_needed

jobs=$(nproc)
run_suite() {  # name, extra cmake args...
  local name=$1; shift
  echo "== $name build"
  cmake -S "$root" -B "$root/build-$name" -G Ninja "$@" >/dev/null
  cmake --build "$root/build-$name" -j "$jobs"
  echo "== $name tests"
  ctest --test-dir "$root/build-$name" -j "$jobs" --output-on-failure ${ctest_extra:-}
}

run_suite release -DCMAKE_BUILD_TYPE=Release -DVORN_BENCH=ON
bash "$root/scripts/example.sh" "$root/build-release"
ASAN_OPTIONS=detect_leaks=1 UBSAN_OPTIONS=print_stacktrace=1 \
  run_suite sanitize -DCMAKE_BUILD_TYPE=Debug -DVORN_SANITIZE=ON
# Blocks are coded on worker threads. The memory-starvation test is left
# out: it caps the address space, which ThreadSanitizer's own allocator
# cannot live with.
TSAN_OPTIONS=halt_on_error=1 ctest_extra="-E TrackedMemoryDeathTest" \
  run_suite tsan -DCMAKE_BUILD_TYPE=RelWithDebInfo -DVORN_TSAN=ON
bash "$root/scripts/fuzz.sh"
bash "$root/scripts/variants.sh" "$root/build-release"

# The Windows build and its tests under Wine (installs Wine and friends).
bash "$root/scripts/wine_tests.sh"
echo "== all done"
