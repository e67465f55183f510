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
