# Shared by the run and test scripts: installs what is missing, as root.
install_deps() {
  local here
  here="$(dirname "${BASH_SOURCE[0]}")"
  if [ "$(id -u)" -eq 0 ]; then
    bash "$here/install-deps.sh"
  else
    sudo bash "$here/install-deps.sh"
  fi
}
