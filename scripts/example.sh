#!/usr/bin/env bash
# Installs the build in $1 into a fresh prefix, then builds the example
# program against it twice (CMake package, pkg-config) and runs both.
set -euo pipefail
build=$(cd "$1" && pwd)
cd "$(dirname "$0")/.."
root=$(pwd)
source "$root/scripts/packages.sh"
have pkg-config || need_pkgs+=(pkg-config)
install_needed
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

echo "== install into a fresh prefix"
cmake --install "$build" --prefix "$work/prefix" >/dev/null
test -x "$work/prefix/bin/lzx"
"$work/prefix/bin/lzx" --version

echo "== example through find_package(Lzx)"
cmake -S "$root/examples" -B "$work/build" -G Ninja -DCMAKE_PREFIX_PATH="$work/prefix" >/dev/null
cmake --build "$work/build" >/dev/null
"$work/build/lzx_example" "$work/run1"

echo "== example through pkg-config"
export PKG_CONFIG_PATH="$work/prefix/lib/pkgconfig:$work/prefix/lib/$(gcc -print-multiarch 2>/dev/null || true)/pkgconfig"
# shellcheck disable=SC2046
c++ -o "$work/example_pc" "$root/examples/lzx_example.cpp" $(pkg-config --cflags --libs lzx)
"$work/example_pc" "$work/run2" >/dev/null
echo "== example done"
