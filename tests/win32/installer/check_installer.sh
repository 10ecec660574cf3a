#!/usr/bin/env bash
# The setup program under Wine, run silently as an administrator deploying it
# would: what it installs, an upgrade over it, and its uninstaller.
#
# Usage: check_installer.sh lifecycle|options
#   lifecycle  install with a firewall address, check every file, both
#              shortcuts, the uninstall entry and the firewall commands;
#              upgrade in place with the program running, then into another
#              folder; uninstall through the entry's QuietUninstallString
#              with the program running; check that nothing is left.
#   options    /FAXSERVER= values refused (exit 2, nothing installed) and
#              accepted, quoted as a deployment script would; a failing
#              netsh (exit 3, the program installed all the same); an
#              uninstaller whose netsh finds no rule still removes all.
#
# Environment: WINE, SETUP (the setup program), PROGRAM and LICENCE (what it
# must install), READ_SHORTCUT and NETSH_STAND_IN (test tools built for
# Windows). WINEPREFIX: a prepared prefix to use (its wineserver is left
# running); without it the test makes its own and ends its wineserver.
# DISPLAY: without it the test runs itself under xvfb-run.
#
# Wine's netsh has no firewall, so the prefix's netsh.exe is replaced for the
# test by a stand-in that logs its command line: the test checks the exact
# commands, not their effect on a firewall.
set -Eeuo pipefail

mode=${1:?usage: check_installer.sh lifecycle|options|multiuser}
: "${WINE:?}" "${SETUP:?}" "${PROGRAM:?}" "${LICENCE:?}" "${READ_SHORTCUT:?}" "${NETSH_STAND_IN:?}"

if [ -z "${DISPLAY:-}" ]; then
  exec xvfb-run -a -s '-screen 0 1024x768x24' bash "$0" "$@"
fi

wineserver=$(dirname "$(readlink -f "$(command -v "$WINE")")")/wineserver
[ -x "$wineserver" ] || wineserver=$(command -v wineserver)
export WINEARCH=win64 WINEDEBUG=-all
export WINEDLLOVERRIDES="${WINEDLLOVERRIDES:-winemenubuilder.exe=d;mscoree,mshtml=};netsh.exe=n"

key='HKLM\Software\Microsoft\Windows\CurrentVersion\Uninstall\CorvaneTesk'
key32='HKLM\Software\WOW6432Node\Microsoft\Windows\CurrentVersion\Uninstall\CorvaneTesk'
default_dir='C:\Program Files\Corvane Tesk'
moved_dir='C:\Fax Tools\Tesk'
programs='C:\ProgramData\Microsoft\Windows\Start Menu\Programs'
rule='"C:\windows\system32\netsh.exe" advfirewall firewall'
rule_name='name="Corvane Tesk (fax server)"'

work=$(mktemp -d)
log=$work/wine.log
own_prefix=0
if [ -z "${WINEPREFIX:-}" ]; then
  own_prefix=1
  export WINEPREFIX=$work/prefix
fi
system32=$WINEPREFIX/drive_c/windows/system32
started=()

cleanup() {
  local status=$?
  for pid in "${started[@]}"; do kill "$pid" 2>/dev/null || true; done
  if ((own_prefix)); then
    "$wineserver" -k 2>/dev/null || true
    "$wineserver" -w 2>/dev/null || true
  else
    # A shared prefix is left as it was found, whatever the setup did.
    uninstall_if_installed || true
    "$WINE" reg delete "$key" /f >/dev/null 2>&1 || true
    "$WINE" reg delete "$key32" /f >/dev/null 2>&1 || true
    rm -rf "$(unix_path "$default_dir")" "$(unix_path "$moved_dir")" \
      "$(unix_path "$programs\\Corvane Tesk.lnk")" "$(unix_path "$programs\\StartUp\\Corvane Tesk.lnk")" \
      "$WINEPREFIX/drive_c/corvane-tesk-setup.exe" "$WINEPREFIX/drive_c/corvane-tesk-test.bat"
    rmdir "$(dirname "$(unix_path "$moved_dir")")" 2>/dev/null || true
    [ -f "$work/netsh.exe" ] && cp "$work/netsh.exe" "$system32/netsh.exe"
  fi
  if ((status)) && [ -s "$log" ]; then
    echo "--- Wine's output:"
    tail -n 40 "$log"
  fi
  rm -rf "$work"
  exit "$status"
}
trap cleanup EXIT
trap 'echo "stopped by a failing command at line $LINENO (exit $?)" >&2' ERR

if ((own_prefix)); then
  # Started apart from CTest's output pipe, and ended by cleanup.
  mkdir "$WINEPREFIX"
  "$wineserver" -p </dev/null >/dev/null 2>&1
  "$WINE" wineboot -i </dev/null >>"$log" 2>&1
else
  cp "$system32/netsh.exe" "$work/netsh.exe"
fi
cp "$NETSH_STAND_IN" "$system32/netsh.exe"
export CORVANE_NETSH_LOG='Z:'${work//\//\\}'\netsh.log'
netsh_log=$work/netsh.log
export CORVANE_NETSH_EXIT=0
cp "$SETUP" "$WINEPREFIX/drive_c/corvane-tesk-setup.exe"
setup='C:\corvane-tesk-setup.exe'


failures=0
fail() {
  echo "FAIL: $*" >&2
  failures=$((failures + 1))
}
section() { echo "== [${SECONDS}s] $*"; }

unix_path() { # C:\a\b -> $WINEPREFIX/drive_c/a/b
  local p=${1#[Cc]:}
  printf '%s/drive_c%s' "$WINEPREFIX" "${p//\\//}"
}

wine_run() { "$WINE" "$@" </dev/null >>"$log" 2>&1; }

# Runs a command line exactly as written, as a deployment script would.
wine_cmdline() {
  printf '%s\r\nexit /b %%errorlevel%%\r\n' "$1" >"$WINEPREFIX/drive_c/corvane-tesk-test.bat"
  "$WINE" cmd /c 'C:\corvane-tesk-test.bat' </dev/null >>"$log" 2>&1
}

# The value of NAME under KEY as "TYPE VALUE", or nothing.
reg_value() {
  "$WINE" reg query "$1" /v "$2" 2>/dev/null | tr -d '\r' |
    sed -n "s/^    $2    \(REG_[A-Z_]*\)    \(.*\)$/\1 \2/p" || true
}

# The processes of this prefix whose command line contains TEXT.
prefix_pids() {
  local pid cmd
  for pid in /proc/[0-9]*; do
    cmd=$(tr '\0' ' ' 2>/dev/null <"$pid/cmdline") || continue
    [[ $cmd == *"$1"* ]] || continue
    tr '\0' '\n' 2>/dev/null <"$pid/environ" | grep -qxF "WINEPREFIX=$WINEPREFIX" || continue
    echo "${pid#/proc/}"
  done
}

# Polls until COMMAND succeeds; fails after SECONDS.
wait_until() {
  local seconds=$1
  shift
  local deadline=$((SECONDS + seconds))
  until "$@"; do
    ((SECONDS < deadline)) || return 1
    sleep 0.1
  done
}
no_process() { [ -z "$(prefix_pids "$1")" ]; }
has_process() { [ -n "$(prefix_pids "$1")" ]; }

# The uninstaller copies itself to %TEMP%\~nsuN.tmp and runs from there, so
# the command returns before it has finished: wait for that copy to end.
wait_for_uninstaller() {
  wait_until 60 no_process '\~nsu' || fail "the uninstaller did not end within 60 s"
}

start_program() { # DIR
  "$WINE" "$1\\corvane-tesk.exe" </dev/null >>"$log" 2>&1 &
  started+=($!)
  wait_until 20 has_process "$1\\corvane-tesk.exe" || fail "the installed program did not start"
}

run_quiet_uninstall() {
  local quiet exe args
  quiet=$(reg_value "$key" QuietUninstallString)
  quiet=${quiet#REG_SZ }
  [[ $quiet =~ ^\"([^\"]+)\"\ (.*)$ ]] || { fail "QuietUninstallString unusable: $quiet"; return 1; }
  exe=${BASH_REMATCH[1]}
  read -ra args <<<"${BASH_REMATCH[2]}"
  wine_run "$exe" "${args[@]}" || fail "the uninstaller exited $?"
  wait_for_uninstaller
}

uninstall_if_installed() {
  [ -n "$(reg_value "$key" QuietUninstallString)" ] || return 0
  run_quiet_uninstall
}

# The uninstall entry, read once for the checks of its values.
entry=""
read_entry() { entry=$("$WINE" reg query "$key" 2>/dev/null | tr -d '\r' || true); }

expect_value() { # NAME "TYPE VALUE"
  local got
  got=$(sed -n "s/^    $1    \(REG_[A-Z_]*\)    \(.*\)$/\1 \2/p" <<<"$entry")
  [ "$got" = "$2" ] || fail "$key\\$1 is '$got', not '$2'"
}

expect_shortcut() { # FILE DIR
  local got want
  got=$("$WINE" "$READ_SHORTCUT" "$1" 2>>"$log" | grep -v '^description=') ||
    { fail "no shortcut $1"; return; }
  want="target=$2\\corvane-tesk.exe
arguments=
folder=$2
icon=$2\\corvane-tesk.exe,0"
  [ "$got" = "$want" ] || fail "shortcut $1 reads
$got
not
$want"
}

expect_netsh() { # the exact command lines run since the log was last cleared
  local got
  got=$(tr -d '\r' 2>/dev/null <"$netsh_log" || true)
  [ "$got" = "$1" ] || fail "netsh ran
${got:-(nothing)}
not
${1:-(nothing)}"
  rm -f "$netsh_log"
}

entries_named_corvane() {
  "$WINE" reg query 'HKLM\Software\Microsoft\Windows\CurrentVersion\Uninstall' /s 2>/dev/null |
    tr -d '\r' | grep -c '^    DisplayName    REG_SZ    Corvane Tesk$' || true
}

expect_installed_in() { # DIR
  local dir=$1 unix listing size file
  unix=$(unix_path "$dir")
  listing=$(cd "$unix" 2>/dev/null && ls -A | tr '\n' ' ' || true)
  [ "$listing" = "corvane-tesk.exe licence.txt uninstall.exe " ] ||
    fail "$dir holds '$listing', not the program, the licence and the uninstaller"
  cmp -s "$PROGRAM" "$unix/corvane-tesk.exe" || fail "$dir\\corvane-tesk.exe is not the program built"
  cmp -s "$LICENCE" "$unix/licence.txt" || fail "$dir\\licence.txt is not the licence"

  expect_shortcut "$programs\\Corvane Tesk.lnk" "$dir"
  expect_shortcut "$programs\\StartUp\\Corvane Tesk.lnk" "$dir"
  # For every user: nothing in the installing user's own Start menu.
  if find "$WINEPREFIX/drive_c/users" -iname 'Corvane Tesk.lnk' | grep -q .; then
    fail "a shortcut in a user's own profile: $(find "$WINEPREFIX/drive_c/users" -iname 'Corvane Tesk.lnk')"
  fi

  read_entry
  expect_value DisplayName "REG_SZ Corvane Tesk"
  expect_value DisplayIcon "REG_SZ $dir\\corvane-tesk.exe,0"
  expect_value DisplayVersion "REG_SZ ${VERSION:?}"
  expect_value Publisher "REG_SZ The Corvane Tesk developers"
  expect_value InstallLocation "REG_SZ $dir"
  expect_value UninstallString "REG_SZ \"$dir\\uninstall.exe\""
  expect_value QuietUninstallString "REG_SZ \"$dir\\uninstall.exe\" /S"
  expect_value NoModify "REG_DWORD 0x1"
  expect_value NoRepair "REG_DWORD 0x1"
  # KiB, as Apps & features expects; NSIS rounds each file down.
  size=$(sed -n 's/^    EstimatedSize    //p' <<<"$entry")
  local bytes kib
  bytes=0
  for file in "$unix"/*; do bytes=$((bytes + $(stat -c %s "$file"))); done
  kib=$((${size#REG_DWORD }))
  ((kib >= bytes / 1024 - 3 && kib <= bytes / 1024 + 1)) ||
    fail "EstimatedSize is $size, not about $((bytes / 1024)) KiB"
  # In the 64-bit registry, where Apps & features looks for a 64-bit program.
  [ -z "$(reg_value "$key32" DisplayName)" ] ||
    fail "the uninstall entry is in the 32-bit registry"
  [ "$(entries_named_corvane)" = 1 ] || fail "$(entries_named_corvane) uninstall entries, not one"
}

expect_nothing_left() { # DIR...
  local dir
  for dir in "$@"; do
    [ ! -e "$(unix_path "$dir")" ] || fail "$dir is still there: $(ls -A "$(unix_path "$dir")" | tr '\n' ' ')"
  done
  [ ! -e "$(unix_path "$programs\\Corvane Tesk.lnk")" ] || fail "the Start-menu shortcut is still there"
  [ ! -e "$(unix_path "$programs\\StartUp\\Corvane Tesk.lnk")" ] || fail "the Startup shortcut is still there"
  "$WINE" reg query "$key" >/dev/null 2>&1 && fail "the uninstall entry is still there"
  [ "$(entries_named_corvane)" = 0 ] || fail "an uninstall entry named Corvane Tesk is still there"
  no_process 'corvane-tesk.exe' || fail "a copy of the program still runs"
}

uninstall_removes_rule="$rule delete rule $rule_name"

lifecycle() {
  section "install with /S /FAXSERVER=192.0.2.0/24"
  rm -f "$netsh_log"
  wine_run "$setup" /S /FAXSERVER=192.0.2.0/24 || fail "setup exited $?"
  expect_installed_in "$default_dir"
  expect_netsh "$rule delete rule $rule_name
$rule add rule $rule_name dir=in action=allow program=\"$default_dir\\corvane-tesk.exe\" protocol=TCP localport=5555 remoteip=192.0.2.0/24 enable=yes"

  section "upgrade in place, program running, no address: the rule is kept"
  start_program "$default_dir"
  wine_run "$setup" /S || fail "setup exited $?"
  wait_until 10 no_process 'corvane-tesk.exe' || fail "the running copy was not stopped"
  expect_installed_in "$default_dir"
  expect_netsh ""

  section "upgrade into another folder with a new address"
  wine_cmdline "$setup /S /FAXSERVER=192.0.2.7 /D=$moved_dir" || fail "setup exited $?"
  expect_installed_in "$moved_dir"
  [ ! -e "$(unix_path "$default_dir")" ] || fail "the copy in $default_dir was not removed"
  expect_netsh "$uninstall_removes_rule
$rule delete rule $rule_name
$rule add rule $rule_name dir=in action=allow program=\"$moved_dir\\corvane-tesk.exe\" protocol=TCP localport=5555 remoteip=192.0.2.7 enable=yes"

  section "uninstall through QuietUninstallString, program running"
  start_program "$moved_dir"
  run_quiet_uninstall
  expect_nothing_left "$moved_dir" "$default_dir"
  expect_netsh "$uninstall_removes_rule"
}

options() {
  local bad status
  section "addresses refused: exit 2, nothing installed, no rule"
  for bad in '/FAXSERVER=' '/FAXSERVER=192.0.2.1;calc' '/FAXSERVER="192.0.2.1 any"' '/FAXSERVER=192.0.2.1"'; do
    status=0
    wine_cmdline "$setup /S $bad" || status=$?
    [ "$status" = 2 ] || fail "$bad: setup exited $status, not 2"
    expect_nothing_left "$default_dir"
    expect_netsh ""
  done

  section "a quoted list of a subnet and an address, as written in a script"
  status=0
  wine_cmdline "$setup /S /FAXSERVER=\"2001:db8::/32,192.0.2.7\"" || status=$?
  [ "$status" = 0 ] || fail "setup exited $status"
  expect_netsh "$rule delete rule $rule_name
$rule add rule $rule_name dir=in action=allow program=\"$default_dir\\corvane-tesk.exe\" protocol=TCP localport=5555 remoteip=2001:db8::/32,192.0.2.7 enable=yes"

  section "netsh fails: exit 3, the program installed all the same"
  export CORVANE_NETSH_EXIT=1
  status=0
  wine_run "$setup" /S /FAXSERVER=LocalSubnet || status=$?
  [ "$status" = 3 ] || fail "setup exited $status, not 3"
  expect_installed_in "$default_dir"
  rm -f "$netsh_log"

  section "uninstall while netsh finds no rule to delete"
  run_quiet_uninstall
  expect_nothing_left "$default_dir"
  expect_netsh "$uninstall_removes_rule"
  export CORVANE_NETSH_EXIT=0
}

service='HKLM\System\CurrentControlSet\Services\CorvaneTeskDispatcher'
multiuser() {
  local unix
  unix=$(unix_path "$default_dir")
  section "install with /S /MULTIUSER /FAXSERVER: the dispatcher service runs and owns the rule"
  rm -f "$netsh_log"
  wine_run "$setup" /S /MULTIUSER /FAXSERVER=192.0.2.7 || fail "setup exited $?"
  cmp -s "${DISPATCHER:?}" "$unix/corvane-tesk-dispatcher.exe" || fail "the dispatcher is not installed"
  [ "$(reg_value "$key" MultiUser)" = "REG_DWORD 0x1" ] || fail "the install does not record the dispatcher"
  [ -n "$(reg_value "$service" ImagePath)" ] || fail "the dispatcher service is not registered"
  wait_until 30 has_process 'corvane-tesk-dispatcher.exe' || fail "the dispatcher service does not run"
  expect_netsh "$rule delete rule $rule_name
$rule add rule $rule_name dir=in action=allow program=\"$default_dir\\corvane-tesk-dispatcher.exe\" protocol=TCP localport=5555 remoteip=192.0.2.7 enable=yes"

  section "an upgrade without /MULTIUSER keeps the service"
  wine_run "$setup" /S || fail "setup exited $?"
  [ -n "$(reg_value "$service" ImagePath)" ] || fail "the upgrade removed the dispatcher service"
  wait_until 30 has_process 'corvane-tesk-dispatcher.exe' || fail "the dispatcher service does not run after the upgrade"

  section "uninstall stops and removes the service"
  run_quiet_uninstall
  wait_until 30 no_process 'corvane-tesk-dispatcher.exe' || fail "the dispatcher service still runs"
  [ -z "$(reg_value "$service" ImagePath)" ] || fail "the dispatcher service is still registered"
  expect_nothing_left "$default_dir"
}

"$mode"
if ((failures)); then
  echo "$failures failed checks" >&2
  exit 1
fi
echo "all checks passed"
