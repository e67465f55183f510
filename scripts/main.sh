#!/usr/bin/env bash
# Main job: builds the update installer from nothing and runs it against a
# throwaway demo installation of Vorn 3.0, answering its dialog with
# "Install update". Shows the dialog, the report box, the installed files
# and the records of the version file. Installs missing tools with apt-get.
set -euo pipefail
cd "$(dirname "$0")/.."
root=$(pwd)

source "$root/scripts/packages.sh"
need_build_tools
install_needed

build="$root/build-main"
echo "== building the installer (packer, sample payload, vorn-update)"
cmake -S "$root" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release -DVORN_TESTS=OFF >/dev/null
cmake --build "$build" --target vorn-update vorn-demo-product -j "$(nproc)" | grep -E "entries|Linking CXX executable" || true
update="$build/src/updater/vorn-update"
product="$build/src/updater/vorn-demo-product"
ls -l "$update"

# Everything of the demo lives in one throwaway directory: the registry
# store, the runtime directory for the product marker, the temporary
# directory and the product itself.
demo=$(mktemp -d "${TMPDIR:-/tmp}/vorn-demo.XXXXXX")
trap 'rm -rf "$demo"' EXIT
mkdir -p "$demo/run" "$demo/tmp"
chmod 700 "$demo/run" "$demo/tmp"
export VELMORA_REGISTRY="$demo/registry" XDG_RUNTIME_DIR="$demo/run" TMPDIR="$demo/tmp"
unset LC_ALL LC_MESSAGES
export LANG=C.UTF-8  # English texts; LANG=nl_NL.UTF-8 gives the Dutch ones

echo
echo "== the demo installation of Vorn 3.0"
"$product" install "$demo/Vorn" 3.0
echo "-- registry store ($VELMORA_REGISTRY):"
cat "$VELMORA_REGISTRY"
echo "-- version file before the update:"
"$product" list "$demo/Vorn"

echo
echo "== running vorn-update -log, answering the dialog with \"Install update\""
cd "$demo"
set +e
echo "Install update" | "$update" -log 2>&1
code=$?
set -e
echo "== exit code: $code"

echo
echo "== files in the product directory after the update"
(cd "$demo/Vorn" && find . -type f -printf '%10s  %P\n' | sort -k2)
echo
echo "== version file records (lzx.ver)"
"$product" list "$demo/Vorn"
echo
echo "== registry store after the update"
cat "$VELMORA_REGISTRY"
echo
echo "== diagnostic log (CONW.LOG)"
cat "$demo/CONW.LOG"
echo
leftover=$(find "$demo/tmp" -mindepth 1 | wc -l)
echo "== temporary files left behind: $leftover"
exit "$code"
