#!/usr/bin/env bash
# Runs the Windows lzx.exe under Wine and checks that it writes exactly the
# same LZX1 files as the Linux build, and reads them back byte for byte.
# Usage: wine_smoke.sh LINUX_LZX WINDOWS_LZX_EXE   (WINE names the wine program)
set -euo pipefail
linux=$1
win=$2
: "${WINE:=wine}"
export WINEDEBUG=-all
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cp "$win" "$work/lzx.exe"
cd "$work"
# Text with repeats, random bytes, and rows of 0xFF (for the row sort).
python3 - <<'PY'
import random
random.seed(7)
words = [b"troef", b"slag", b"bieden", b"kaart", b"\r\n"]
open("text.bin", "wb").write(b" ".join(random.choice(words) for _ in range(60000)))
open("random.bin", "wb").write(bytes(random.getrandbits(8) for _ in range(50000)))
rows = bytearray()
for r in range(1200):
    rows += b"\xff" * 64 if r % 3 else bytes(random.getrandbits(3) for _ in range(64))
open("rows.bin", "wb").write(bytes(rows))
PY
fail=0
for mode in "" --huffman --rowsort; do
  for f in text.bin random.bin rows.bin; do
    [ "$mode" = --rowsort ] && [ "$f" != rows.bin ] && continue
    "$linux" compress $mode "$f" linux.lzx
    "$WINE" ./lzx.exe compress $mode "$f" win.lzx </dev/null
    "$WINE" ./lzx.exe decompress linux.lzx back.bin </dev/null
    if cmp -s linux.lzx win.lzx && cmp -s "$f" back.bin; then
      echo "wine: $f ${mode:-(lz)} identical"
    else
      echo "wine: $f ${mode:-(lz)} DIFFERS"
      fail=1
    fi
  done
done
exit $fail
