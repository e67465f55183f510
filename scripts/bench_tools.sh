#!/usr/bin/env bash
# Whole-program timings, against peers measured in the same interleaved
# rounds (medians):
#   1. `lzx unpack` of the sample payload against `tar -xzf` of the same
#      files (written by gzip -6);
#   2. a whole installation by the Linux installer against `tar -xzf` of the
#      files that installation wrote, and against the same followed by
#      `sync -f` (the installer syncs its files to the disk before it
#      switches to them; tar leaves them in the cache);
#   3. `lzx compress` / `decompress` of the benchmark corpus with one thread
#      and with two, against `gzip -6` / `gzip -d`, with peak RSS; and two
#      one-thread runs at once, whose combined speed is as much as two
#      threads can reach on this machine.
#
# Usage: scripts/bench_tools.sh [BUILD_DIR] [ROUNDS]
#   BUILD_DIR a Release build with the installer (default build-release);
#   the corpus comes from scripts/bench_corpus.sh (built when missing).
set -euo pipefail
cd "$(dirname "$0")/.."
root=$(pwd)
build=$(cd "${1:-build-release}" && pwd)
rounds=${2:-7}
lzx="$build/tools/lzx/lzx"
payload="$build/src/updater/payload/payload.lzx"
corpus="$root/build-bench/corpus"
[ -f "$corpus/payload.bin" ] || bash scripts/bench_corpus.sh "$corpus"

work=$(mktemp -d "${TMPDIR:-/tmp}/vorn-bench.XXXXXX")
trap 'rm -rf "$work"' EXIT

now() { echo "${EPOCHREALTIME/./}"; }  # microseconds
# Runs a command and appends its wall time in microseconds to the named file.
# Whatever earlier steps left unwritten goes to the disk first: a program
# that syncs (the installer, `sync -f`) would otherwise pay for the others'
# files, and the kernel's background writeback would take a core from the
# next program.
timed() {  # file, command...
  local out=$1 t0 t1
  shift
  sync
  t0=$(now)
  "$@" >/dev/null 2>&1
  t1=$(now)
  echo $((t1 - t0)) >>"$out"
}
median() { sort -n "$1" | awk '{ v[NR] = $1 } END { print (NR % 2) ? v[(NR + 1) / 2] : (v[NR / 2] + v[NR / 2 + 1]) / 2 }'; }
ms() { awk -v us="$1" 'BEGIN { printf "%.1f ms", us / 1000 }'; }
ratio() { awk -v a="$1" -v b="$2" 'BEGIN { printf "%.2f", a / b }'; }

echo "Machine: $(nproc) cores; load average before: $(cut -d' ' -f1-3 /proc/loadavg)"

# --- 1. lzx unpack against tar -xzf ------------------------------------------
all=(--force --languages defg --versions 123)
"$lzx" unpack "$payload" "$work/ref" "${all[@]}" >/dev/null
tar -czf "$work/payload.tar.gz" -C "$work/ref" .
files=$(find "$work/ref" -type f | wc -l)
for ((r = 0; r < rounds; r++)); do
  rm -rf "$work/u" "$work/t" && mkdir "$work/u" "$work/t"
  timed "$work/unpack.us" "$lzx" unpack "$payload" "$work/u" "${all[@]}"
  timed "$work/tar.us" tar -xzf "$work/payload.tar.gz" -C "$work/t"
done
diff -r "$work/u" "$work/t" >/dev/null || { echo "unpack and tar disagree"; exit 1; }
u=$(median "$work/unpack.us") t=$(median "$work/tar.us")
echo
echo "| sample payload ($files files, $(du -sk "$work/ref" | cut -f1) KiB) | median | speed × tar -xzf |"
echo "|---|---:|---:|"
echo "| lzx unpack | $(ms "$u") | $(ratio "$t" "$u") |"
echo "| tar -xzf (gzip -6) | $(ms "$t") | 1.00 |"

# --- 2. a whole installation against tar -xzf ----------------------------------
# The main-product update, installed into a throwaway product each round.
install_once() {  # dir
  local d=$1
  mkdir -p "$d/tmp" "$d/run" "$d/data"
  VELMORA_REGISTRY="$d/registry" XDG_RUNTIME_DIR="$d/run" TMPDIR="$d/tmp" \
    XDG_DATA_HOME="$d/data" LANG=C "$build/src/updater/vorn-demo-product" install "$d/Product" 3.0
}
run_installer() {  # dir
  local d=$1
  echo i | VELMORA_REGISTRY="$d/registry" XDG_RUNTIME_DIR="$d/run" TMPDIR="$d/tmp" \
    XDG_DATA_HOME="$d/data" LANG=C "$build/src/updater/vorn-update"
}
if [ -x "$build/src/updater/vorn-update" ] && [ -x "$build/src/updater/vorn-demo-product" ]; then
  install_once "$work/i0" >/dev/null
  touch "$work/stamp"
  sleep 1
  run_installer "$work/i0" >/dev/null 2>&1
  (cd "$work/i0/Product" && find . -type f -newer "$work/stamp" | sort >"$work/written")
  tar -czf "$work/installed.tar.gz" -C "$work/i0/Product" -T "$work/written"
  for ((r = 1; r <= rounds; r++)); do
    install_once "$work/i$r" >/dev/null
    timed "$work/install.us" run_installer "$work/i$r"
    rm -rf "$work/t" && mkdir "$work/t"
    timed "$work/tar2.us" tar -xzf "$work/installed.tar.gz" -C "$work/t"
    rm -rf "$work/t" && mkdir "$work/t"
    timed "$work/tar3.us" sh -c "tar -xzf '$work/installed.tar.gz' -C '$work/t' && sync -f '$work/t'"
    rm -rf "$work/i$r"
  done
  i=$(median "$work/install.us") t=$(median "$work/tar2.us") s=$(median "$work/tar3.us")
  echo
  echo "| installation ($(wc -l <"$work/written") files written) | median | speed × tar -xzf |"
  echo "|---|---:|---:|"
  echo "| vorn-update, whole run | $(ms "$i") | $(ratio "$t" "$i") |"
  echo "| tar -xzf of the same files | $(ms "$t") | 1.00 |"
  echo "| tar -xzf of the same files, then sync -f | $(ms "$s") | $(ratio "$t" "$s") |"
fi

# --- 3. whole files, one thread and two ----------------------------------------
cat "$corpus"/{text,x86,cards,photos,payload}.bin >"$work/corpus.bin"
size=$(stat -c %s "$work/corpus.bin")
gzip -6 -c "$work/corpus.bin" >"$work/corpus.gz"
"$lzx" compress "$work/corpus.bin" "$work/corpus.lzx" >/dev/null
rss() {  # command... : peak RSS in KiB
  /usr/bin/time -f %M "$@" 2>&1 >/dev/null | tail -1
}
for ((r = 0; r < rounds; r++)); do
  # Every program writes a new file: dropping the old one's pages is not
  # part of its time.
  rm -f "$work"/o[1-4].lzx "$work"/o.gz "$work"/o[1-4].bin "$work"/o.bin
  timed "$work/c1.us" "$lzx" compress "$work/corpus.bin" "$work/o1.lzx" -T 1
  timed "$work/c2.us" "$lzx" compress "$work/corpus.bin" "$work/o2.lzx" -T 2
  # The ceiling for two threads: two one-thread runs at once, each on its
  # own core, share nothing but the machine.
  timed "$work/cp.us" sh -c "'$lzx' compress '$work/corpus.bin' '$work/o3.lzx' -T 1 &
    '$lzx' compress '$work/corpus.bin' '$work/o4.lzx' -T 1; wait"
  timed "$work/gz.us" sh -c "gzip -6 -c '$work/corpus.bin' >'$work/o.gz'"
  timed "$work/d1.us" "$lzx" decompress "$work/corpus.lzx" "$work/o1.bin" -T 1
  timed "$work/d2.us" "$lzx" decompress "$work/corpus.lzx" "$work/o2.bin" -T 2
  timed "$work/dp.us" sh -c "'$lzx' decompress '$work/corpus.lzx' '$work/o3.bin' -T 1 &
    '$lzx' decompress '$work/corpus.lzx' '$work/o4.bin' -T 1; wait"
  timed "$work/gd.us" sh -c "gzip -d -c '$work/corpus.gz' >'$work/o.bin'"
done
cmp -s "$work/o1.lzx" "$work/o2.lzx" || { echo "one and two threads wrote different files"; exit 1; }
cmp -s "$work/o1.bin" "$work/corpus.bin" && cmp -s "$work/o2.bin" "$work/corpus.bin" ||
  { echo "decompress does not give the corpus back"; exit 1; }
mbs() { awk -v b="$size" -v us="$1" 'BEGIN { printf "%.1f", b / us }'; }
c1=$(median "$work/c1.us") c2=$(median "$work/c2.us") gz=$(median "$work/gz.us")
d1=$(median "$work/d1.us") d2=$(median "$work/d2.us") gd=$(median "$work/gd.us")
cp=$(median "$work/cp.us") dp=$(median "$work/dp.us")
echo
echo "| corpus, $(awk -v b="$size" 'BEGIN { printf "%.1f", b / 1e6 }') MB | MB/s | × gzip | × one thread | peak RSS |"
echo "|---|---:|---:|---:|---:|"
echo "| lzx compress -T 1 | $(mbs "$c1") | $(ratio "$gz" "$c1") | 1.00 | $(rss "$lzx" compress "$work/corpus.bin" "$work/o1.lzx" -T 1) KiB |"
echo "| lzx compress -T 2 | $(mbs "$c2") | $(ratio "$gz" "$c2") | $(ratio "$c1" "$c2") | $(rss "$lzx" compress "$work/corpus.bin" "$work/o2.lzx" -T 2) KiB |"
echo "| two lzx compress -T 1 at once (the machine's ceiling) | | | $(ratio "$(awk -v t="$c1" 'BEGIN { print 2 * t }')" "$cp") | |"
echo "| gzip -6 | $(mbs "$gz") | 1.00 | | |"
echo "| lzx decompress -T 1 | $(mbs "$d1") | $(ratio "$gd" "$d1") | 1.00 | $(rss "$lzx" decompress "$work/corpus.lzx" "$work/o1.bin" -T 1) KiB |"
echo "| lzx decompress -T 2 | $(mbs "$d2") | $(ratio "$gd" "$d2") | $(ratio "$d1" "$d2") | $(rss "$lzx" decompress "$work/corpus.lzx" "$work/o2.bin" -T 2) KiB |"
echo "| two lzx decompress -T 1 at once (the machine's ceiling) | | | $(ratio "$(awk -v t="$d1" 'BEGIN { print 2 * t }')" "$dp") | |"
echo "| gzip -d | $(mbs "$gd") | 1.00 | | |"
echo
echo "Load average after: $(cut -d' ' -f1-3 /proc/loadavg)"
