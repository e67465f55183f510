#!/usr/bin/env bash
# lzx.exe is a console tool: under Wine every failure goes to stderr with
# exit code 2 and opens no window (a modal box would wait for a click; the
# time limit turns that into a failure), and its messages and summaries are
# those of the Linux build.
# Usage: wine_lzx.sh LINUX_LZX WINDOWS_LZX_EXE   (WINE names the wine program)
set -uo pipefail
linux=$(realpath "$1")
win=$(realpath "$2")
: "${WINE:=wine}"
export WINEDEBUG=-all
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cp "$win" "$work/lzx.exe"
cd "$work"

fails=0
report() {  # ok?, description
  if [ "$1" = 0 ]; then echo "ok    $2"; else echo "FAIL  $2"; fails=$((fails + 1)); fi
}
# Runs both builds with the same arguments: *_out, *_err, *_code.
both() {
  linux_out=$("$linux" "$@" 2>linux.err)
  linux_code=$?
  win_out=$(timeout 120 "$WINE" ./lzx.exe "$@" 2>win.err </dev/null | tr -d '\r')
  win_code=${PIPESTATUS[0]}
  linux_err=$(cat linux.err)
  win_err=$(tr -d '\r' <win.err)
}

for i in $(seq 400); do echo "troef slag bieden kaart $i"; done >good.txt
"$linux" compress good.txt good.lzx
cp good.lzx bad.lzx
printf '\377\377\377\377' | dd of=bad.lzx bs=1 seek=40 conv=notrunc 2>/dev/null

both decompress bad.lzx out.bin
[ "$win_code" = 2 ]
report $? "damaged file: exit code 2 (got $win_code; 124 = still waiting after the time limit)"
[ -n "$win_err" ] && [ "$win_err" = "$linux_err" ]
report $? "damaged file: the Linux build's message on stderr: ${win_err:-(none)}"
[ -z "$win_out" ]
report $? "damaged file: nothing on stdout"

both info missing.lzx
[ "$win_code" = 2 ] && [ -n "$win_err" ] && [ "$win_err" = "$linux_err" ]
report $? "missing file: exit code 2 and the Linux message: ${win_err:-(none)}"

both frobnicate
[ "$win_code" = "$linux_code" ] && [ "$win_code" = 64 ]
report $? "unknown command: usage error 64"

# Every file is checked and summed up as on Linux: a bad file in the middle
# must not stop the run.
both test good.lzx bad.lzx good.lzx
if [ "$win_code" = "$linux_code" ] && [ "$win_out" = "$linux_out" ]; then
  report 0 "test good bad good: every file checked, same summary as Linux"
else
  report 1 "test good bad good: Windows (exit $win_code) differs from Linux (exit $linux_code)"
  sed 's/^/        /' <<<"$win_out"
fi

echo "== lzx.exe as a console tool: $fails failed"
[ "$fails" = 0 ]
