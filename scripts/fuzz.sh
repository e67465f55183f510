#!/usr/bin/env bash
# Builds the libFuzzer targets with clang (ASan + UBSan) and runs each one for
# a short fixed time from its seed corpus; any finding fails the run and
# leaves its input in build-fuzz/findings/. Installs clang when missing.
#
#   bash scripts/fuzz.sh              every target, FUZZ_SECONDS (10) each
#   bash scripts/fuzz.sh TARGET...    only these (e.g. lzx_unpack_fuzz)
#
# Long campaigns: see fuzz/README.md.
set -euo pipefail
cd "$(dirname "$0")/.."
root=$(pwd)

source "$root/scripts/packages.sh"
need_build_tools
have clang++ || need_pkgs+=(clang)
compgen -G "/usr/lib/llvm-*/lib/clang/*/lib/linux/libclang_rt.fuzzer-x86_64.a" >/dev/null ||
  need_pkgs+=(libclang-rt-dev)
install_needed

build="$root/build-fuzz"
cmake -S "$root/fuzz" -B "$build" -G Ninja -DCMAKE_CXX_COMPILER=clang++ >/dev/null
cmake --build "$build" -j "$(nproc)"

seconds=${FUZZ_SECONDS:-10}
targets=("$@")
if [ ${#targets[@]} -eq 0 ]; then
  for t in "$build"/*_fuzz; do targets+=("$(basename "$t")"); done
fi

findings="$build/findings"
mkdir -p "$findings"
failed=()
for t in "${targets[@]}"; do
  # New inputs go to a scratch corpus; the seeds in the tree stay as they are.
  work="$build/corpus/$t"
  mkdir -p "$work"
  # An input that takes 25 s is a hang, whatever the time given to the target.
  opts=(-max_total_time="$seconds" -timeout=25 -artifact_prefix="$findings/$t-" -print_final_stats=1)
  [ -f "$root/fuzz/$t.flags" ] && read -r -a extra <"$root/fuzz/$t.flags" && opts+=("${extra[@]}")
  echo "== $t (${seconds}s)"
  if ! "$build/$t" "${opts[@]}" "$work" "$root/fuzz/corpus/$t" >"$build/$t.log" 2>&1; then
    failed+=("$t")
    tail -n 40 "$build/$t.log"
  fi
  grep -E '^#[0-9]+[[:space:]]+DONE' "$build/$t.log" | tail -1 || true
done

if [ ${#failed[@]} -gt 0 ]; then
  echo "== fuzz findings in: ${failed[*]} (inputs in $findings)"
  exit 1
fi
echo "== fuzz: no findings"
