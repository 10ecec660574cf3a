#!/usr/bin/env bash
# The whole path on one machine: a private HylaFAX (queue manager and client
# protocol server, no modem) and a private print server with a corvane-fax
# queue; a stand-in desktop on loopback answers; `lp` prints a PDF. Checks
# each outcome in the print server's job log and in HylaFAX's send queue.
# Needs root (the print server and HylaFAX switch to their own users).
# Usage: fax_path.sh BACKEND FAKE_DESKTOP PDF
set -euo pipefail

backend=$(realpath "$1")
fake=$(realpath "$2")
pdf=$(realpath "$3")
skip=77

if [ "$(id -u)" -ne 0 ]; then
  echo "SKIP: needs root to run a print server and HylaFAX"
  exit $skip
fi
for tool in cupsd lpadmin lp lpstat cancel faxq hfaxd sendfax faxstat; do
  command -v "$tool" >/dev/null || { echo "FAIL: $tool is missing (scripts/install-deps.sh installs it)"; exit 1; }
done

work=$(mktemp -d /tmp/corvane-faxpath.XXXXXX)
chmod 755 "$work"
pids=()
fail() {
  echo "FAIL: $*" >&2
  exit 1
}

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
      tr '\0' ' ' <"$proc/cmdline" 2>/dev/null | grep -qF "$work" && left+=("${proc#/proc/}")
    done
    ((${#left[@]} == 0 || SECONDS >= end)) && break
    sleep 0.1
  done
  if ((${#left[@]})); then
    echo "FAIL: still running after the test: ${left[*]}" >&2
    kill -KILL "${left[@]}" 2>/dev/null || true
    status=1
  fi
  if ((status != 0)) && [ -f "$work/cups/log/error_log" ]; then
    echo "--- print server log ---" >&2
    grep -v '^D ' "$work/cups/log/error_log" >&2 || true
  fi
  rm -rf "$work"
  exit $status
}
trap cleanup EXIT

# wait_until SECONDS WHAT COMMAND...: polls COMMAND until it succeeds.
wait_until() {
  local end=$((SECONDS + $1)) what=$2
  shift 2
  until "$@"; do
    ((SECONDS < end)) || fail "no $what within the deadline"
    sleep 0.1
  done
}

# --- HylaFAX, in a spool of its own -----------------------------------------
hf=$work/hylafax
mkdir -p "$hf"
for dir in archive client dev docq doneq info log pollq recvq sendq status tmp; do mkdir "$hf/$dir"; done
cp -a /var/spool/hylafax/bin /var/spool/hylafax/config "$hf/"
cp -a /etc/hylafax "$hf/etc"
chown -R uucp:uucp "$hf"
chmod 1777 "$hf/tmp"
hfaxd_port=$("$fake" free-port)
faxq -D -q "$hf" >"$work/faxq.log" 2>&1 &
pids+=($!)
hfaxd -d -q "$hf" -i "$hfaxd_port" >"$work/hfaxd.log" 2>&1 &
pids+=($!)
hylafax_up() { faxstat -h "localhost:$hfaxd_port" -s 2>/dev/null | grep -q 'Running'; }
wait_until 30 "HylaFAX scheduler" hylafax_up
queued() { find "$hf/sendq" -name 'q[0-9]*' | wc -l; }

# --- A print server of its own, with the fax queue --------------------------
cups=$work/cups
mkdir -p "$cups"/{conf,spool,cache,state,log,bin/backend}
for part in /usr/lib/cups/*; do
  [ "$(basename "$part")" = backend ] || ln -s "$part" "$cups/bin/"
done
install -m 0755 "$backend" "$cups/bin/backend/corvane-fax"
cat >"$cups/conf/cupsd.conf" <<CONF
Listen $cups/cups.sock
LogLevel info
WebInterface No
Browsing No
<Location />
  Order allow,deny
  Allow all
</Location>
<Policy default>
  <Limit All>
    Order deny,allow
  </Limit>
</Policy>
CONF
cat >"$cups/conf/cups-files.conf" <<CONF
ServerRoot $cups/conf
RequestRoot $cups/spool
CacheDir $cups/cache
StateDir $cups/state
ServerBin $cups/bin
AccessLog $cups/log/access_log
ErrorLog $cups/log/error_log
PageLog $cups/log/page_log
Printcap $cups/printcap
CONF
cupsd -f -c "$cups/conf/cupsd.conf" -s "$cups/conf/cups-files.conf" >"$work/cupsd.log" 2>&1 &
pids+=($!)
export CUPS_SERVER=$cups/cups.sock
# lpstat -r exits 0 also while it says "scheduler is not running".
cups_up() { [ "$(lpstat -r 2>/dev/null)" = "scheduler is running" ]; }
wait_until 30 "print server" cups_up
log=$cups/log/error_log

# print DESKTOP-MODE [REPLY]: starts a stand-in desktop (or none, for
# "absent"), points the queue at it, prints the PDF as user alice and waits
# until the job ends or is held. Sets $job and $job_log (its log lines).
print() {
  local mode=$1 port
  rm -f "$work/port"
  case $mode in
    answer)
      printf '%s' "$2" >"$work/reply"
      "$fake" answer "$work/port" "$work/reply" &
      pids+=($!) ;;
    hold)
      "$fake" hold "$work/port" &
      pids+=($!) ;;
    absent)
      "$fake" free-port >"$work/port" ;;
  esac
  wait_until 10 "stand-in desktop" test -s "$work/port"
  port=$(<"$work/port")
  lpadmin -p fax -E -v "corvane-fax:/?port=$port&hylafax=localhost:$hfaxd_port&timeout=${timeout:-30}" \
    -o printer-error-policy=abort-job
  job=$(lp -U alice -d fax -t 'Quarterly report' "$pdf" | sed -n 's/^request id is fax-\([0-9]*\) .*/\1/p')
  [ -n "$job" ] || fail "lp did not queue the job"
  job_ended() { grep -qE "\[Job $job\] (Job completed|Job canceled|Job aborted|Job held)" "$log"; }
  wait_until 60 "end of job $job" job_ended
  job_log=$(grep -F "[Job $job]" "$log")
}
expect_log() { grep -qF -- "$1" <<<"$job_log" || fail "job $job: no \"$1\" in its log:"$'\n'"$job_log"; }

crlf=$'\r\n'
name='Zoë Łukasiewicz @ Müller & Söhne #2 "HQ"'
safe_name='Zoë Łukasiewicz ＠ Müller & Söhne #2 ＂HQ＂'
started=$SECONDS

echo "== answered: a contact whose name holds '@' and non-ASCII letters"
print answer "0301234567${crlf} ${crlf}${name}${crlf} ${crlf}"
expect_log "Job completed."
# The log escapes quotes; the name up to them is enough.
expect_log "faxing to 0301234567 (${name%%\"*}"
(($(queued) == 1)) || fail "expected one HylaFAX job, found $(queued)"
qfile=$(find "$hf/sendq" -name 'q[0-9]*')
grep -qxF "number:0301234567" "$qfile" || fail "dial string is not the number: $(grep ^number: "$qfile")"
grep -qxF "receiver:$safe_name" "$qfile" || fail "recipient is not the name: $(grep ^receiver: "$qfile")"
grep -qxF "owner:alice" "$qfile" || fail "the fax is not alice's: $(grep ^owner: "$qfile")"
grep -q "^mailaddr:alice@" "$qfile" || fail "HylaFAX does not notify alice: $(grep ^mailaddr: "$qfile")"
faxstat -h "localhost:$hfaxd_port" -s | grep -qE '^[0-9]+ .* alice +0301234567 ' ||
  fail "faxstat does not list alice's job to 0301234567"
echo "ok: HylaFAX job to $(grep ^number: "$qfile"), for $(grep ^receiver: "$qfile")"

echo "== cancelled on the desktop"
print answer ""
expect_log "Job canceled"
expect_log "the user at localhost cancelled the fax; nothing was sent"
(($(queued) == 1)) || fail "a cancelled fax was queued in HylaFAX"

echo "== the desktop program is not listening"
print absent
expect_log "Job held for"
expect_log "refused the connection"
expect_log "the job stays queued and the desktop is asked again later"
cancel "fax-$job"
(($(queued) == 1)) || fail "a fax nobody confirmed was queued in HylaFAX"

echo "== a malformed reply"
print answer "0301234567${crlf}"
expect_log "Job aborted"
expect_log "sent a reply that is not an answer"
lpstat -p fax | grep -q 'enabled' || fail "a malformed reply stopped the queue"
(($(queued) == 1)) || fail "a malformed reply was faxed"

echo "== no answer in time"
timeout=1 print hold
expect_log "Job canceled"
expect_log "no answer from localhost:"
(($(queued) == 1)) || fail "an unanswered fax was queued in HylaFAX"

echo "all outcomes checked in $((SECONDS - started)) s"
