#!/usr/bin/env bash
# Builds the installer in each of its four variants (main product or product
# family, update or demo), runs the installer's unit tests in each, and
# installs the sample payload with each variant's real program into a
# throwaway product set up the way that variant finds it.
# The main-product update is also the build of scripts/test.sh: pass that
# build's directory to use it instead of building it again.
set -euo pipefail
main_update_build=${1:-}
cd "$(dirname "$0")/.."
root=$(pwd)
jobs=$(nproc)

# A subshell, so the environment it sets up ends with it.
smoke() (  # build dir, main (1/0), demo (1/0)
  local build=$1 main=$2 demo=$3
  local d
  d=$(mktemp -d "${TMPDIR:-/tmp}/vorn-variant.XXXXXX")
  mkdir -p "$d/tmp" "$d/run" "$d/data"
  local reg="$d/registry" product="$d/Product"
  export VELMORA_REGISTRY="$reg" XDG_RUNTIME_DIR="$d/run" TMPDIR="$d/tmp" XDG_DATA_HOME="$d/data" LANG=C
  # The registry as each variant reads it; the family demo needs none.
  if [ "$main$demo" = 10 ]; then
    "$build/src/updater/vorn-demo-product" install "$product" 3.0 >/dev/null
  elif [ "$main$demo" = 11 ]; then
    printf '[Software\\Vorn Demo]\n"Location"="%s"\n' "$product" >"$reg"
  elif [ "$main$demo" = 00 ]; then
    mkdir -p "$product"
    printf '[Software\\Velmora]\n"Location"="%s"\n"Version"="3.0"\n' "$product" >"$reg"
  else
    product="$d/data/Vorn Demo"
  fi
  local out code=0
  out=$(echo i | "$build/src/updater/vorn-update" 2>&1) || code=$?
  local files
  files=$(find "$product" -type f | wc -l)
  local leftover
  leftover=$(find "$d/tmp" "$product" -name '~vorn*' | wc -l)
  rm -rf "$d"
  if [ "$code" != 0 ] || [ "$files" -lt 50 ] || [ "$leftover" != 0 ] ||
     ! grep -qE "has been applied|Installation completed" <<<"$out"; then
    echo "variant main=$main demo=$demo: exit $code, $files files, $leftover leftovers"
    echo "$out"
    return 1
  fi
  echo "variant main=$main demo=$demo: installed $files files, exit 0"
)

for variant in "ON OFF" "ON ON" "OFF OFF" "OFF ON"; do
  set -- $variant
  name="variant-main$1-demo$2"
  build="$root/build-$name"
  echo "== $name"
  if [ "$1 $2" = "ON OFF" ] && [ -n "$main_update_build" ]; then
    build=$main_update_build
  else
    cmake -S "$root" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
      -DVORN_MAIN_PRODUCT="$1" -DVORN_DEMO="$2" -DVORN_BENCH=OFF >/dev/null
  fi
  cmake --build "$build" -j "$jobs" --target updater_tests vorn-update vorn-demo-product
  "$build/tests/updater/updater_tests" --gtest_brief=1
  smoke "$build" "$([ "$1" = ON ] && echo 1 || echo 0)" "$([ "$2" = ON ] && echo 1 || echo 0)"
done
