#!/usr/bin/env bash
# Builds the corpus (scripts/bench_corpus.sh) when it is missing, then runs
# the codec benchmark on it and prints the machine and the Markdown tables.
# Installs the peers' development packages with apt-get when missing.
#
# Usage: scripts/bench.sh [--rounds N]
set -euo pipefail
cd "$(dirname "$0")/.."
source scripts/packages.sh
need_build_tools
[ -f /usr/include/zlib.h ] || need_pkgs+=(zlib1g-dev)
[ -f /usr/include/libdeflate.h ] || need_pkgs+=(libdeflate-dev)
[ -f /usr/include/zstd.h ] || need_pkgs+=(libzstd-dev)
[ -f /usr/include/lz4.h ] || need_pkgs+=(liblz4-dev)
install_needed
corpus=build-bench/corpus
[ -f "$corpus/payload.bin" ] || bash scripts/bench_corpus.sh "$corpus"
cmake -S . -B build-bench -G Ninja -DCMAKE_BUILD_TYPE=Release -DVORN_BENCH=ON -DVORN_TESTS=OFF >/dev/null
cmake --build build-bench --target codec_bench >/dev/null
echo "Machine: $(lscpu | sed -n 's/^Model name: *//p'), $(nproc) cores," \
  "$(free -g | awk '/^Mem:/ {print $2}') GB; $(uname -sr); $(g++ --version | head -1);" \
  "load average before the run: $(cut -d' ' -f1-3 /proc/loadavg)"
args=()
for k in text x86 cards photos payload; do args+=("$k=$corpus/$k.bin"); done
build-bench/bench/codec_bench "$@" "${args[@]}"
echo
echo "Load average after the run: $(cut -d' ' -f1-3 /proc/loadavg)"
