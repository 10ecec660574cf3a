#!/usr/bin/env bash
# The whole path: desktops print over the network to a private print server
# whose fax class asks them, and the faxes land in a private HylaFAX (see
# fax_world.sh for the network). Checks each outcome in the print server's log
# and in HylaFAX's send queue, and each way a printing user or a desktop could
# steer, stall, read or lose a fax.
# Needs root (network namespaces; the services switch to their own users).
# Usage: fax_path.sh BACKEND FAKE_DESKTOP PDF
set -euo pipefail

backend=$(realpath "$1")
fake=$(realpath "$2")
pdf=$(realpath "$3")
here=$(dirname "$(realpath "$0")")
skip=77

if [ "$(id -u)" -ne 0 ]; then
  echo "SKIP: needs root to run a print server, HylaFAX and network namespaces"
  exit $skip
fi
for tool in cupsd lpadmin lp lpstat cancel cupsenable faxq hfaxd sendfax faxstat ip; do
  command -v "$tool" >/dev/null || { echo "FAIL: $tool is missing (scripts/install-deps.sh installs it)"; exit 1; }
done

work=$(mktemp -d /tmp/corvane-faxpath.XXXXXX)
chmod 755 "$work"
pids=()
fail() {
  echo "FAIL: $*" >&2
  exit 1
}
# wait_until SECONDS WHAT COMMAND...: polls COMMAND until it succeeds.
wait_until() {
  local end=$((SECONDS + $1)) what=$2
  shift 2
  until "$@"; do
    ((SECONDS < end)) || fail "no $what within the deadline"
    sleep 0.1
  done
}
source "$here/fax_world.sh"

# Stops what this test started, checks that nothing of it runs on, removes it.
cleanup() {
  local status=$? pid end
  for pid in "${pids[@]}"; do kill "$pid" 2>/dev/null || true; done
  end=$((SECONDS + 20))
  for pid in "${pids[@]}"; do
    while kill -0 "$pid" 2>/dev/null && ((SECONDS < end)); do sleep 0.1; done
    kill -KILL "$pid" 2>/dev/null || true
    wait "$pid" 2>/dev/null || true
  done
  # Children the services forked (a backend, an hfaxd session) name the work folder.
  local left=() proc
  end=$((SECONDS + 10))
  while :; do
    left=()
    for proc in /proc/[0-9]*; do
      tr '\0' ' ' 2>/dev/null <"$proc/cmdline" | grep -qF "$work" && left+=("${proc#/proc/}")
    done
    ((${#left[@]} == 0 || SECONDS >= end)) && break
    sleep 0.1
  done
  if ((${#left[@]})); then
    echo "FAIL: still running after the test:" >&2
    for proc in "${left[@]}"; do echo "  $proc: $(tr '\0' ' ' 2>/dev/null <"/proc/$proc/cmdline")" >&2; done
    kill -KILL "${left[@]}" 2>/dev/null || true
    status=1
  fi
  if ((status != 0)) && [ -f "$work/cups/log/error_log" ]; then
    echo "--- print server log ---" >&2
    grep -v '^D ' "$work/cups/log/error_log" >&2 || true
  fi
  remove_network
  rm -rf "$work"
  exit $status
}
trap cleanup EXIT

make_network
start_hylafax
start_cups
fax_class "timeout=30&connect-timeout=3"

crlf=$'\r\n'
name='Zoë Łukasiewicz @ Müller & Söhne #2 "HQ"'
safe_name='Zoë Łukasiewicz ＠ Müller & Söhne #2 ＂HQ＂'
started=$SECONDS

echo "== answered: a contact whose name holds '@' and non-ASCII letters; the job's user named to the desktop"
desktop B 192.0.2.11 answer 0301234567 "$name"
print B
await_job
alices_job=$job
expect_log "Job completed."
expect_log "faxing to 0301234567 (${safe_name%%＂*}"
(($(queued) == 1)) || fail "expected one HylaFAX job, found $(queued)"
qfile=$(newest_qfile)
grep -qxF "number:0301234567" "$qfile" || fail "dial string is not the number: $(grep ^number: "$qfile")"
grep -qxF "receiver:$safe_name" "$qfile" || fail "recipient is not the name: $(grep ^receiver: "$qfile")"
grep -qxF "owner:alice" "$qfile" || fail "the fax is not alice's: $(grep ^owner: "$qfile")"
cmp -s "$work/B.port.got" <(printf 'USER alice\r\n') || fail "the desktop was not told the job's user: $(od -c "$work/B.port.got")"

echo "== private status: another user reads no number, recipient or owner"
for shown in "$(on A lpstat -U bob -l -W completed -o fax)" "$(on A lpstat -U bob -l -p)"; do
  for secret in 0301234567 Łukasiewicz alice; do
    ! grep -qF "$secret" <<<"$shown" || fail "another user reads \"$secret\" in:"$'\n'"$shown"
  done
done
grep -qF "The fax is queued in HylaFAX." <<<"$(on A lpstat -U bob -l -W completed -o fax)" ||
  fail "the job's public status is missing"

echo "== no stall: desktop A holds its dialog open, desktop B is answered at once"
desktop A 192.0.2.10 hold
print A
held_job=$job
asking() { lpstat -l -p fax-1 fax-2 | grep -qF "Asking the sender's desktop where the fax goes."; }
wait_until 20 "A's dialog" asking
desktop B 192.0.2.11 answer 0307654321 " "
before=$(queued)
b_started=$SECONDS
print B
more_queued() { (($(queued) > before)); }
wait_until 10 "B's fax in HylaFAX while A still waits" more_queued
! ended "$held_job" || fail "A's job ended before its desktop answered"
echo "ok: B's fax queued after $((SECONDS - b_started)) s"
cancel "$held_job"
wait_until 30 "the end of A's job" ended "$held_job"
wait_until 30 "A's dialog to close" test -e "$work/A.port.got"

echo "== the origin is the scheduler's: forged origin options, an unclosed brace"
# A listens for nothing, so asking it would hold the job; B answers.
for forged in "-o job-originating-host-name=192.0.2.10" "-o x-job-originating-host-name=192.0.2.10" \
  "-o x-note={192.0.2.10 -o job-originating-host-name=192.0.2.10"; do
  desktop B 192.0.2.11 answer 0301111111 " "
  read -ra options <<<"$forged"
  print B "${options[@]}"
  await_job
  expect_log "asked at 192.0.2.11"
  expect_log "Job completed."
done
desktop B 192.0.2.11 answer 0301111111 " "
ipp_print B "x job-originating-host-name" 192.0.2.10 job-originating-host-name 192.0.2.10
await_job
expect_log "asked at 192.0.2.11"
expect_log "Job completed."

echo "== a job printed on the fax server itself"
print local
await_job
expect_log "printed on the fax server itself"
expect_log "Job canceled"
out=$(in_server env CUPS_SERVER=192.0.2.1:631 lp -U alice -d fax "$pdf")
job=$(sed -n 's/^request id is fax-\([0-9]*\) .*/\1/p' <<<"$out")
await_job
expect_log "printed on the fax server itself (192.0.2.1)"
# The scheduler lets a client on its own machine name the origin: not taken.
print local -o job-originating-host-name=192.0.2.11
await_job
expect_log "printed on the fax server itself (naming its origin 192.0.2.11)"
fax_class "timeout=30&allow-local=yes"
printf '0302222222\r\n \r\n \r\n \r\n' >"$work/local.reply"
bg_in "$server_ns" env CORVANE_FAKE_AT=127.0.0.1 CORVANE_FAKE_PORT=5555 "$fake" answer "$work/local.port" "$work/local.reply"
wait_until 10 "local stand-in" test -s "$work/local.port"
print local
await_job
expect_log "asked at localhost"
expect_log "Job completed."
fax_class "timeout=30&connect-timeout=3"

echo "== names that fit hfaxd's command line, none running a command of its own; format characters escaped"
umlauts=$(printf 'Ü%.0s' {1..247}) # 494 bytes
for bytes in 494 495 600 4000; do
  tail="JPARM TOCOMPANY Evil$bytes "
  while ((${#tail} < bytes)); do tail+=z; done
  long="$umlauts$tail"
  long=$(head -c "$bytes" <<<"$long")
  desktop B 192.0.2.11 answer 0303333333 "$long"
  before=$(queued)
  print B
  await_job
  expect_log "Job completed."
  (($(queued) == before + 1)) || fail "$bytes-byte name: the job completed but HylaFAX holds $(queued) jobs, not $((before + 1))"
  qfile=$(newest_qfile)
  receiver=$(sed -n 's/^receiver://p' "$qfile")
  ! grep -q Evil "$qfile" || fail "$bytes-byte name: text from the name set a job parameter: $(grep Evil "$qfile")"
  if [ "$receiver" != "$long" ]; then
    [[ $receiver == *… ]] || fail "$bytes-byte name: cut without a mark: …${receiver: -20}"
    [[ $long == "${receiver%…}"* ]] || fail "$bytes-byte name: what HylaFAX keeps is not the name's start"
  fi
done

desktop B 192.0.2.11 answer 0303333333 $'Acme \u202Efdp.exe\u2028next'
print B
await_job
expect_log "Job completed."
expect_log "(Acme <U+202E>fdp.exe<U+2028>next)"
! grep -qF $'\u202E' "$log" || fail "a format character reached the log raw"

echo "== user names hfaxd cannot take, and notices only for local accounts"
for user in 'John Smith' 'back\' 'mallory@evil.example' lp; do
  desktop B 192.0.2.11 answer 0304444444 " "
  print B -U "$user"
  await_job
  expect_log "Job completed."
  qfile=$(newest_qfile)
  owner=$(sed -n 's/^owner://p' "$qfile")
  [[ $owner =~ ^[A-Za-z0-9._-]+$ ]] || fail "user \"$user\": HylaFAX owner \"$owner\""
  ! grep -q '@evil\.example' "$qfile" || fail "notice mailed to a printing user's address: $(grep ^mailaddr: "$qfile")"
  if [ "$user" = lp ]; then
    grep -q '^notify:.*done' "$qfile" || fail "a local account gets no notice: $(grep ^notify: "$qfile")"
  else
    grep -qx 'notify:none' "$qfile" || fail "user \"$user\" (no account) gets a notice: $(grep ^notify: "$qfile")"
  fi
done

echo "== a desktop on an IPv6 link-local address"
desktop L fe80::2%fxd answer 0305555555 " "
out=$(in_desks env CUPS_SERVER='[fe80::1%fxd]:631' lp -U alice -d fax "$pdf")
job=$(sed -n 's/^request id is fax-\([0-9]*\) .*/\1/p' <<<"$out")
[ -n "$job" ] || fail "lp over link-local did not queue the job: $out"
await_job
# The print server writes the address with its zone as [v1.ADDRESS+ZONE].
expect_log "asked at fe80::2%fxs (the job"
expect_log "origin [v1.fe80::2+fxs])"
expect_log "Job completed."

echo "== a host name whose first address drops packets"
host_name_lookups On
desktop C 192.0.2.130 answer 0306666666 " "
print C
await_job 20
expect_log "asked at twohost"
expect_log "Job completed."
host_name_lookups Off

echo "== cancelled on the desktop; not listening; malformed; no answer in time"
desktop B 192.0.2.11 raw ""
print B
await_job
expect_log "Job canceled"
expect_log "the user at 192.0.2.11 cancelled the fax; nothing was sent"
before=$(queued)
print A
await_job
expect_log "Job held for"
expect_log "refused the connection"
cancel "$job"
desktop B 192.0.2.11 raw "0301234567${crlf}"
print B
await_job
expect_log "Job canceled"
expect_log "sent a reply that is not an answer"
fax_class "timeout=1"
desktop A 192.0.2.10 hold
print A
await_job
expect_log "Job canceled"
expect_log "no answer from 192.0.2.10:5555"
(($(queued) == before)) || fail "a fax nobody confirmed was queued in HylaFAX"

echo "== the document's copy goes when the job is stopped while sendfax runs"
mkdir -p "$work/bin" "$work/tmp"
chmod 1777 "$work/tmp"
printf '#!/bin/sh\necho $$ >"%s"\nwhile :; do sleep 0.1; done\n' "$work/tmp/sendfax.pid" >"$work/bin/sendfax"
chmod 755 "$work/bin/sendfax"
desktop B 192.0.2.11 answer 0307777777 " "
bg_in "$server_ns" env DEVICE_URI="corvane-fax:/?connect-timeout=3" CUPS_SERVER="$CUPS_SERVER" TMPDIR="$work/tmp" \
  PATH="$work/bin:$PATH" "$backend" "$alices_job" alice title 1 "" <"$pdf" 2>"$work/stopped.log"
stopped=$!
wait_until 20 "sendfax to start" test -s "$work/tmp/sendfax.pid"
ls "$work"/tmp/corvane-fax-* >/dev/null || fail "no copy of the document to remove"
kill -TERM "$stopped"
wait "$stopped" || true
! ls "$work"/tmp/corvane-fax-* 2>/dev/null || fail "the document's copy stayed behind"
sendfax_ended() { ! kill -0 "$(<"$work/tmp/sendfax.pid")" 2>/dev/null; }
wait_until 10 "end of sendfax after the job was stopped" sendfax_ended

echo "== a fax counts as queued only when HylaFAX confirmed it"
# A sendfax that ends well but prints no job number, as one that read the
# server's replies out of step would.
printf '#!/bin/sh\necho "request id is ?"\n' >"$work/bin/sendfax"
desktop B 192.0.2.11 answer 0308888888 " "
status=0
in_server env DEVICE_URI="corvane-fax:/?connect-timeout=3" CUPS_SERVER="$CUPS_SERVER" TMPDIR="$work/tmp" \
  PATH="$work/bin:$PATH" "$backend" "$alices_job" alice title 1 "" <"$pdf" 2>"$work/unconfirmed.log" || status=$?
((status == 5)) || fail "an unconfirmed fax ended the job with status $status, not 5 (cancelled)"
grep -qF "HylaFAX did not confirm the fax" "$work/unconfirmed.log" || fail "no word of the unconfirmed fax"

echo "== a timeout out of range stops the queue with a message"
fax_class "timeout=9223372036854775"
print B
wait_until 30 "the stopped queue" grep -qF "bad setting in the device URI: timeout=" "$log"

echo "all outcomes checked in $((SECONDS - started)) s"
