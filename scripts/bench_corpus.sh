#!/usr/bin/env bash
# Builds the benchmark corpus: real data of the kinds an installer carries,
# one file per kind, each the files of that kind back to back, as an archive
# would hold them. Everything comes from what a Debian machine has or gets
# through apt-get; the images are drawn here, the sample payload comes from
# our own generator. Files are taken in name order up to a size cap, so two
# runs on the same machine give the same corpus.
#
# Usage: scripts/bench_corpus.sh [DIR]   (default build-bench/corpus)
set -euo pipefail
cd "$(dirname "$0")/.."
root=$(pwd)
out=${1:-build-bench/corpus}
source scripts/packages.sh
need_build_tools
have python3 || need_pkgs+=(python3)
have i686-w64-mingw32-strip || need_pkgs+=(g++-mingw-w64-i686)
[ -d /usr/share/man/man1 ] || need_pkgs+=(man-db)
install_needed
mkdir -p "$out"
tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT

mb=$((1024 * 1024))
# take CAP_MB OUTPUT < list of files: appends files until the cap is reached.
take() {
  local cap=$(($1 * mb)) dst=$2 f
  : >"$dst.part"
  while IFS= read -r f; do
    [ -f "$f" ] && [ ! -L "$f" ] || continue
    case "$f" in
      *.gz) gzip -dc -- "$f" >>"$dst.part" 2>/dev/null || continue ;;
      *) cat -- "$f" >>"$dst.part" ;;
    esac
    [ "$(stat -c %s "$dst.part")" -lt "$cap" ] || break
  done
  cat >/dev/null  # the rest of the list, so its writer sees no broken pipe
  head -c "$cap" "$dst.part" >"$dst"
  rm -f "$dst.part"
}

echo "== text: man pages, headers, documentation"
find /usr/share/man/man[1-8] -type f -name '*.gz' | LC_ALL=C sort | take 10 "$tmp/man"
find /usr/include -type f -name '*.h' | LC_ALL=C sort | take 10 "$tmp/headers"
find /usr/share/doc -type f \( -name 'copyright' -o -name '*.txt' -o -name 'changelog*.gz' \
  -o -name 'NEWS*' -o -name 'README*' \) | LC_ALL=C sort | take 6 "$tmp/docs"
cat "$tmp/man" "$tmp/headers" "$tmp/docs" >"$out/text.bin"

echo "== x86: ELF programs and libraries, mingw-w64 runtime DLLs"
find /usr/bin /usr/lib/x86_64-linux-gnu -maxdepth 1 -type f -size +20k | LC_ALL=C sort |
  while IFS= read -r f; do
    [ "$(head -c 4 -- "$f" | od -An -tx1 | tr -d ' ')" = 7f454c46 ] && echo "$f"
  done | take 14 "$tmp/elf"
# The runtime DLLs ship with debug sections; an installer would carry them
# stripped, which leaves the code and data.
mkdir -p "$tmp/dll"
for f in /usr/lib/gcc/i686-w64-mingw32/*-posix/*.dll /usr/i686-w64-mingw32/lib/*.dll; do
  [ -f "$f" ] || continue
  i686-w64-mingw32-strip -o "$tmp/dll/$(basename "$f")" "$f" 2>/dev/null || cp "$f" "$tmp/dll/"
done
find "$tmp/dll" -type f | LC_ALL=C sort | take 8 "$tmp/pe"
cat "$tmp/elf" "$tmp/pe" >"$out/x86.bin"

echo "== images: card faces and photo-like pictures"
python3 "$root/bench/draw_images.py" "$tmp/img"
cat "$tmp/img"/card_*.bmp >"$out/cards.bin"
cat "$tmp/img"/photo_*.bmp >"$out/photos.bin"

echo "== payload: the installer's sample update"
cmake -S "$root" -B "$root/build-bench" -G Ninja -DCMAKE_BUILD_TYPE=Release -DVORN_TESTS=OFF >/dev/null
cmake --build "$root/build-bench" --target vorn-payload-gen >/dev/null
"$root/build-bench/src/updater/vorn-payload-gen" "$tmp/payload"
find "$tmp/payload" -type f | LC_ALL=C sort | take 64 "$out/payload.bin"

for k in text x86 cards photos payload; do
  printf '%-8s %10d bytes\n' "$k" "$(stat -c %s "$out/$k.bin")"
done
