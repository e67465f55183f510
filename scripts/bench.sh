#!/usr/bin/env bash
# Measures the block codecs against zlib (level 6) in one run and prints each
# codec's throughput as a ratio to zlib's on the same data.
set -euo pipefail
cd "$(dirname "$0")/.."
source scripts/packages.sh
need_build_tools
[ -f /usr/include/zlib.h ] || need_pkgs+=(zlib1g-dev)
[ -f /usr/include/benchmark/benchmark.h ] || need_pkgs+=(libbenchmark-dev)
have python3 || need_pkgs+=(python3)
install_needed
cmake -S . -B build-bench -G Ninja -DCMAKE_BUILD_TYPE=Release -DVORN_BENCH=ON -DVORN_TESTS=OFF >/dev/null
cmake --build build-bench --target codec_bench
out=build-bench/bench.json
build-bench/bench/codec_bench --benchmark_format=json --benchmark_min_time=0.3 >"$out"
python3 - "$out" <<'PY'
import json, sys
runs = {b["name"]: b for b in json.load(open(sys.argv[1]))["benchmarks"]}
corpora = {"0": "text", "1": "image"}
print(f"{'codec':<28}{'corpus':<8}{'MB/s':>9}{'zlib MB/s':>11}{'speed vs zlib':>15}{'size':>8}{'zlib size':>11}")
for name, b in runs.items():
    base, arg = name.rsplit("/", 1)
    if "Zlib" in base:
        continue
    peer = runs[("BM_ZlibPack/" if "Pack/" in name and "Unpack" not in name else "BM_ZlibUnpack/") + arg]
    speed, pspeed = b["bytes_per_second"] / 1e6, peer["bytes_per_second"] / 1e6
    size = f'{b["ratio"]:.3f}' if "ratio" in b else "-"
    psize = f'{peer["ratio"]:.3f}' if "ratio" in peer else "-"
    print(f"{base:<28}{corpora[arg]:<8}{speed:9.1f}{pspeed:11.1f}{speed / pspeed:15.2f}{size:>8}{psize:>11}")
PY
