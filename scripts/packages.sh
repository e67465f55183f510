# Sourced by the other scripts: collect the Debian packages that are missing,
# then install them in one go (as root on a fresh machine).
need_pkgs=()
have() { command -v "$1" >/dev/null 2>&1; }
need_build_tools() {
  have cmake || need_pkgs+=(cmake)
  have ninja || need_pkgs+=(ninja-build)
  have g++ || need_pkgs+=(g++)
}
install_needed() {
  [ ${#need_pkgs[@]} -gt 0 ] || return 0
  echo "== installing: ${need_pkgs[*]}"
  export DEBIAN_FRONTEND=noninteractive
  apt-get update -qq
  apt-get install -y -qq "${need_pkgs[@]}" >/dev/null
}
# The Windows build and its tests under Wine: both mingw-w64 compilers,
# GoogleTest's sources, Wine (32-bit needs the i386 architecture), a virtual
# display with a small window manager so that windows get activated, and
# ImageMagick for the pictures.
need_windows_tools() {
  have i686-w64-mingw32-g++-posix || need_pkgs+=(g++-mingw-w64-i686)
  have x86_64-w64-mingw32-g++-posix || need_pkgs+=(g++-mingw-w64-x86-64)
  [ -f /usr/src/googletest/CMakeLists.txt ] || need_pkgs+=(googletest)
  [ -x /usr/lib/wine/wine64 ] || need_pkgs+=(wine wine64)
  if ! dpkg --print-foreign-architectures | grep -qx i386; then
    dpkg --add-architecture i386
  fi
  dpkg -s wine32:i386 >/dev/null 2>&1 || need_pkgs+=(wine32:i386)
  have Xvfb || need_pkgs+=(xvfb)
  have xdotool || need_pkgs+=(xdotool)
  have openbox || need_pkgs+=(openbox)
  [ -x /usr/bin/convert ] || need_pkgs+=(imagemagick)
}
