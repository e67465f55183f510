#!/usr/bin/env bash
# End-to-end runs of the real Windows installer under Wine, driven through
# its windows by vorn-wine-driver.exe (captions and control ids, no pixel
# clicks), against a demo installation of Vorn 3.0 set up in the Wine
# registry. The installed files and "lzx.ver" must be byte for byte what the
# Linux build installs into the same demo. Takes the pictures for docs/.
#
# Usage: wine_e2e.sh WINDOWS_BUILD LINUX_BUILD [--docs]
# Needs WINE (the wine program), WINEPREFIX and DISPLAY set up by
# scripts/wine_tests.sh. Exits 1 when any check fails.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
win=$(cd "$1" && pwd)
linux=$(cd "$2" && pwd)
docs=${3:-}
: "${WINE:?}" "${WINEPREFIX:?}" "${DISPLAY:?}"

work="$win/wine-e2e"
rm -rf "$work"
mkdir -p "$work/run" "$work/shots"
cp "$win/src/updater/vorn-update.exe" "$win/tests/win32/vorn-wine-driver.exe" "$work/run/"
product="$WINEPREFIX/drive_c/Vorn"
temp="$WINEPREFIX/drive_c/users/$(id -un)/Temp"
mkdir -p "$temp"
caption="Vorn 3.01: 26-jun-2005"

fails=0
check() {  # description, command...
  local what=$1
  shift
  if "$@"; then
    echo "ok    $what"
  else
    echo "FAIL  $what"
    fails=$((fails + 1))
  fi
}
has() { grep -qF -- "$2" <<<"$1"; }

# A fresh Vorn 3.0: files and "lzx.ver" from the product stand-in, the
# registry values through wine reg.
demo() {  # [version]
  rm -rf "$product"
  VELMORA_REGISTRY="$work/linux-registry" "$linux/src/updater/vorn-demo-product" \
    install "$product" "${1:-3.0}" >/dev/null
  "$WINE" reg add 'HKCU\Software\Vorn' /v Location /t REG_SZ /d 'C:\Vorn' /f >/dev/null
  "$WINE" reg add 'HKCU\Software\Vorn' /v Version /t REG_SZ /d "${1:-3.0}" /f >/dev/null
}
version() { "$WINE" reg query 'HKCU\Software\Vorn' /v Version 2>/dev/null | tr -d '\r' | awk '/Version/ {print $3}'; }
temp_files() { (cd "$temp" && find . -mindepth 1 | sort); }

# Runs the driver in the run directory; sets out and code.
drive() {
  set +e
  out=$(cd "$work/run" && timeout 300 "$WINE" vorn-wine-driver.exe "$@" 2>&1 | tr -d '\r')
  code=$?
  set -e
  echo "$out" | sed 's/^/      /'
}

# The same update by the Linux build, for comparison.
reference="$work/linux"
mkdir -p "$reference/tmp" "$reference/run"
chmod 700 "$reference/tmp" "$reference/run"
VELMORA_REGISTRY="$reference/registry" "$linux/src/updater/vorn-demo-product" \
  install "$reference/Vorn" 3.0 >/dev/null
echo "Install update" | VELMORA_REGISTRY="$reference/registry" TMPDIR="$reference/tmp" \
  XDG_RUNTIME_DIR="$reference/run" LANG=C.UTF-8 "$linux/src/updater/vorn-update" >/dev/null 2>&1

echo "-- update in English: dialog, Install update, report box"
demo
before=$(temp_files)
drive window:"$caption" item:1 item:2 shot:"$work/shots/dialog-en.bmp" press:1 \
  window:"Update report" text shot:"$work/shots/report-en.bmp" press:1 -- vorn-update.exe -eng
check "exit code 0" test "$code" = 0
check "buttons read Install update and Cancel" has "$out" $'item 1: Install update\nitem 2: Cancel'
check "report box: The update has been applied." has "$out" "text: The update has been applied."
check "files and lzx.ver identical to the Linux build's" diff -r "$reference/Vorn" "$product"
check "registry Version = 3.01" test "$(version)" = 3.01
check "no CONW.LOG without -log" test ! -e "$work/run/CONW.LOG"
check "no temporary file of ours left in %TEMP%" test "$(temp_files)" = "$before"

echo "-- Dutch dialog (-dut), then Cancel"
demo
ver_before=$(cat "$product/lzx.ver" | md5sum)
drive window:"$caption" item:1 item:2 shot:"$work/shots/dialog-nl.bmp" press:2 -- vorn-update.exe -dut
check "exit code 0" test "$code" = 0
check "buttons read Installeer update and Annuleer" has "$out" $'item 1: Installeer update\nitem 2: Annuleer'
check "Cancel changes nothing" test "$(md5sum <"$product/lzx.ver")" = "$ver_before"
check "registry Version still 3.0" test "$(version)" = 3.0

echo "-- language from the locale, and the options over it"
for setting in "nl_NL.UTF-8::Installeer update" "C.UTF-8::Install update" \
  "nl_NL.UTF-8:-eng:Install update" "C.UTF-8:-eng -dut:Installeer update"; do
  IFS=: read -r locale options expected <<<"$setting"
  # shellcheck disable=SC2086
  out=$(cd "$work/run" && LANG=$locale LC_ALL=$locale timeout 300 "$WINE" vorn-wine-driver.exe \
    window:"$caption" item:1 press:2 -- vorn-update.exe $options 2>&1 | tr -d '\r') || true
  check "LANG=$locale ${options:-(no option)}: $expected" has "$out" "item 1: $expected"
done

echo "-- -log: the console window and CONW.LOG"
demo
drive window:"$caption" press:1 window:"Update report" console:"$work/shots/console.bmp" press:1 \
  -- vorn-update.exe -eng -log
log=$(tr -d '\r' <"$work/run/CONW.LOG" 2>/dev/null || true)
check "exit code 0" test "$code" = 0
check "CONW.LOG has header and footer" has "$log" "//-#] LOGFILE "
check "CONW.LOG names source and target" has "$log" 'Target: C:\Vorn'
header_first() { local head=${log%%"//-#["*} foot=${log%%"//-#]"*}; [ ${#head} -lt ${#foot} ]; }
check "CONW.LOG header comes before the footer" header_first
check "installed with -log too" test "$(version)" = 3.01

echo "-- Vorn running (its marker held): refused with exit code 1"
demo
drive --hold VornWare window:"Exit program" text press:1 -- vorn-update.exe -eng
check "exit code 1" test "$code" = 1
check "box: During updating Vorn should not be active." has "$out" "text: During updating Vorn should not be active."
check "nothing installed" test "$(version)" = 3.0
drive --hold VornWare window:"$caption" press:2 -- vorn-update.exe -eng -spawned
check "-spawned goes on while Vorn runs" test "$code" = 0

echo "-- Vorn not installed: not-found box, exit code 0"
"$WINE" reg delete 'HKCU\Software\Vorn' /f >/dev/null
drive window:"Einde programma" text press:1 -- vorn-update.exe -dut
check "exit code 0" test "$code" = 0
check "box: Vorn directory niet gevonden" has "$out" "text: Vorn directory niet gevonden"
check "an empty product key is left behind" "$WINE" reg query 'HKCU\Software\Vorn' >/dev/null 2>&1
drive window:"Exit program" text press:1 -- vorn-update.exe -eng
check "in English: Vorn directory not found" has "$out" "text: Vorn directory not found"

echo "-- version 2.9 installed: refused"
demo 2.9
drive window:"Exit program" text press:1 -- vorn-update.exe -eng
check "box: You need Vorn version 3.0" has "$out" "text: You need Vorn version 3.0 to be able to use this update."

for bmp in "$work/shots"/*.bmp; do
  [ -s "$bmp" ] && convert "$bmp" "${bmp%.bmp}.png"
done
if [ "$docs" = --docs ]; then
  cp "$work/shots"/*.png "$root/docs/"
  echo "pictures copied to docs/"
fi

echo "== wine end-to-end: $fails failed"
[ "$fails" = 0 ]
