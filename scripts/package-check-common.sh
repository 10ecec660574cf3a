# Shared by the package checks: run as root (through sudo otherwise), the
# package file and name, failing with a word, and apt with its progress shown
# only when a step fails. Usage, from a check script: source it with "$@".
if [ "$(id -u)" -ne 0 ]; then
  exec sudo bash "$0" "$@"
fi
check=$(basename "$0")
deb=$(realpath "${1:?usage: $check FILE.deb}")
[ -f "$deb" ] || { echo "$check: no such file: $deb" >&2; exit 1; }
package=$(dpkg-deb -f "$deb" Package)
export DEBIAN_FRONTEND=noninteractive

fail() {
  echo "$check: FAIL: $*" >&2
  exit 1
}
apt_quiet() {
  local log
  log=$(mktemp)
  if ! apt-get -y -q --no-install-recommends "$@" >"$log" 2>&1; then
    cat "$log" >&2
    rm -f "$log"
    fail "apt-get $*"
  fi
  rm -f "$log"
}
installed() { dpkg-query -W -f='${db:Status-Abbrev}' "$package" 2>/dev/null | grep -q '^.[^n]'; }
echo "Depends: $(dpkg-deb -f "$deb" Depends)"
echo "Recommends: $(dpkg-deb -f "$deb" Recommends)"
