# Sourced by fax_path.sh: a fax server and its desktops on a network of their
# own. Two private network namespaces joined by a virtual cable:
#   server   192.0.2.1, fe80::1    a private HylaFAX (queue manager and client
#            protocol server, no modem) and a private print server with the
#            class "fax" of two corvane-fax queues
#   desks    192.0.2.10 (A), .11 (B), .130 (C), fe80::2: stand-in desktops,
#            and the `lp` that prints from each of them
# The print server also answers on 192.0.2.21, .22, .23; the desks reach each
# of these from one desktop's address, so `lp` from desktop X is `on X lp`.
# The name "twohost" has two addresses: 192.0.2.3, whose packets go nowhere,
# then C's.
# Needs: $work (a folder), $fake (the stand-in desktop), $backend, fail,
# wait_until and the pids array.

ns=corvane-fax-$$
server_ns=$ns-s
desks_ns=$ns-d
netns_made=()

in_server() { ip netns exec "$server_ns" "$@"; }
in_desks() { ip netns exec "$desks_ns" "$@"; }
# bg_in NS COMMAND...: starts COMMAND in namespace NS, in the background, as
# a process of this test's own (pids).
bg_in() {
  ip netns exec "$@" &
  pids+=($!)
}

make_network() {
  local ns
  for ns in "$server_ns" "$desks_ns"; do
    mkdir -p "/etc/netns/$ns"
    ip netns add "$ns"
    netns_made+=("$ns")
    ip -n "$ns" link set lo up
  done
  # What the server resolves: files only, so no lookup leaves the namespace.
  printf '%s\n' '127.0.0.1 localhost' '::1 localhost' '192.0.2.3 twohost' '192.0.2.130 twohost' \
    >"/etc/netns/$server_ns/hosts"
  printf '%s\n' 'passwd: files' 'group: files' 'shadow: files' 'hosts: files' \
    >"/etc/netns/$server_ns/nsswitch.conf"
  ip link add fxs netns "$server_ns" type veth peer name fxd netns "$desks_ns"
  ip -n "$server_ns" addr add 192.0.2.1/24 dev fxs
  local a
  for a in 21 22 23; do ip -n "$server_ns" addr add "192.0.2.$a/32" dev fxs; done
  ip -n "$server_ns" addr add fe80::1/64 dev fxs nodad
  ip -n "$desks_ns" addr add 192.0.2.2/24 dev fxd
  for a in 10 11 130; do ip -n "$desks_ns" addr add "192.0.2.$a/32" dev fxd; done
  ip -n "$desks_ns" addr add fe80::2/64 dev fxd nodad
  # Only the link-local addresses above, none made up from hardware addresses.
  ip -n "$server_ns" link set fxs addrgenmode none
  ip -n "$desks_ns" link set fxd addrgenmode none
  ip -n "$server_ns" link set fxs up
  ip -n "$desks_ns" link set fxd up
  ip -n "$desks_ns" route add 192.0.2.21/32 dev fxd src 192.0.2.10
  ip -n "$desks_ns" route add 192.0.2.22/32 dev fxd src 192.0.2.11
  ip -n "$desks_ns" route add 192.0.2.23/32 dev fxd src 192.0.2.130
  # 192.0.2.3 "answers" to a hardware address nobody has: its packets are lost.
  ip -n "$server_ns" neigh add 192.0.2.3 lladdr 02:00:00:00:00:99 dev fxs nud permanent
}

remove_network() {
  local ns
  for ns in "${netns_made[@]}"; do
    ip netns del "$ns" 2>/dev/null || true
    rm -rf "/etc/netns/$ns"
  done
}

# on DESKTOP COMMAND...: runs COMMAND (lp, lpstat) as if on desktop A, B or C,
# talking to the print server.
on() {
  local server
  case $1 in A) server=192.0.2.21 ;; B) server=192.0.2.22 ;; C) server=192.0.2.23 ;; *) fail "no desktop $1" ;; esac
  shift
  in_desks env CUPS_SERVER="$server:631" "$@"
}

# --- HylaFAX, in a spool of its own -----------------------------------------
start_hylafax() {
  hf=$work/hylafax
  mkdir -p "$hf"
  local dir
  for dir in archive client dev docq doneq info log pollq recvq sendq status tmp; do mkdir "$hf/$dir"; done
  cp -a /var/spool/hylafax/bin /var/spool/hylafax/config "$hf/"
  cp -a /etc/hylafax "$hf/etc"
  chown -R uucp:uucp "$hf"
  chmod 1777 "$hf/tmp"
  hfaxd_port=4559
  bg_in "$server_ns" faxq -D -q "$hf" >"$work/faxq.log" 2>&1
  bg_in "$server_ns" hfaxd -d -q "$hf" -i "$hfaxd_port" >"$work/hfaxd.log" 2>&1
  hylafax_up() { in_server faxstat -h "localhost:$hfaxd_port" -s 2>/dev/null | grep -q 'Running'; }
  wait_until 30 "HylaFAX scheduler" hylafax_up
}
queued() { find "$hf/sendq" -name 'q[0-9]*' | wc -l; }
newest_qfile() { ls -t "$hf"/sendq/q[0-9]* | head -1; }

# --- A print server of its own, with the fax class --------------------------
start_cups() {
  cups=$work/cups
  mkdir -p "$cups"/{conf,spool,cache,state,log,bin/backend}
  local part
  for part in /usr/lib/cups/*; do
    [ "$(basename "$part")" = backend ] || ln -s "$part" "$cups/bin/"
  done
  install -m 0755 "$backend" "$cups/bin/backend/corvane-fax"
  cat >"$cups/conf/cupsd.conf" <<CONF
Listen $cups/cups.sock
Port 631
ServerAlias *
HostNameLookups Off
LogLevel info
WebInterface No
Browsing No
<Location />
  Order allow,deny
  Allow all
</Location>
<Policy default>
  JobPrivateAccess default
  JobPrivateValues default
  SubscriptionPrivateAccess default
  SubscriptionPrivateValues default
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
  bg_in "$server_ns" cupsd -f -c "$cups/conf/cupsd.conf" -s "$cups/conf/cups-files.conf" >"$work/cupsd.log" 2>&1
  cupsd_pid=$!
  export CUPS_SERVER=$cups/cups.sock
  cups_up() { lpstat -r 2>/dev/null | grep -q 'is running'; }
  wait_until 30 "print server" cups_up
  log=$cups/log/error_log
}

# host_name_lookups On|Off: the print server records a client's host name
# (as its address resolves) or its address, as the default Off does.
host_name_lookups() {
  local reloads
  reloads=$(grep -c 'Full reload complete' "$log")
  sed -i "s/^HostNameLookups .*/HostNameLookups $1/" "$cups/conf/cupsd.conf"
  kill -HUP "$cupsd_pid"
  reloaded() { (($(grep -c 'Full reload complete' "$log") > reloads)) && lpstat -r 2>/dev/null | grep -q 'is running'; }
  wait_until 30 "the print server's reload" reloaded
}

# fax_class QUERY: the class "fax" of two queues, as the README sets it up,
# each with the device URI corvane-fax:/?QUERY&hylafax=...
fax_class() {
  local uri="corvane-fax:/?$1&hylafax=localhost:$hfaxd_port" q
  for q in fax-1 fax-2; do
    lpadmin -p "$q" -E -v "$uri" -o printer-error-policy=abort-job -o printer-is-shared=true
    lpstat -c fax 2>/dev/null | grep -qw "$q" || lpadmin -p "$q" -c fax
  done
  cupsenable fax
  cupsaccept fax
  lpadmin -p fax -o printer-is-shared=true
}

# desktop NAME ADDRESS answer NUMBER LINE3 | raw TEXT | hold: a stand-in
# desktop listening on ADDRESS, port 5555 of the desks' own network, that
# answers NUMBER and LINE3, sends TEXT as it is, or holds its dialog open.
# Its files are $work/NAME.port and $work/NAME.port.got.
desktop() {
  local name=$1 at=$2 mode=$3
  rm -f "$work/$name.port" "$work/$name.port.got"
  if [ "$mode" != hold ]; then
    if [ "$mode" = answer ]; then
      printf '%s\r\n \r\n%s\r\n \r\n' "$4" "$5" >"$work/$name.reply"
    else
      printf '%s' "$4" >"$work/$name.reply"
    fi
    bg_in "$desks_ns" env CORVANE_FAKE_AT="$at" CORVANE_FAKE_PORT=5555 "$fake" answer "$work/$name.port" "$work/$name.reply"
  else
    bg_in "$desks_ns" env CORVANE_FAKE_AT="$at" CORVANE_FAKE_PORT=5555 "$fake" hold "$work/$name.port"
  fi
  wait_until 10 "stand-in desktop $name" test -s "$work/$name.port"
}

# print FROM [LP OPTIONS...]: prints the PDF to the class from desktop FROM
# (A, B, C, or "local" for the fax server itself) as alice unless -U says
# otherwise; sets $job.
print() {
  local from=$1 out
  shift
  if [ "$from" = local ]; then
    out=$(lp -U alice -d fax -t 'Quarterly report' "$@" "$pdf")
  else
    out=$(on "$from" lp -U alice -d fax -t 'Quarterly report' "$@" "$pdf")
  fi
  job=$(sed -n 's/^request id is fax-\([0-9]*\) .*/\1/p' <<<"$out")
  [ -n "$job" ] || fail "lp did not queue the job: $out"
}

# ended JOB: the job has completed, been cancelled, aborted or held.
ended() { grep -qE "\[Job $1\] (Job completed|Job canceled|Job aborted|Job held)" "$log"; }
# await_job: waits for $job to end; sets $job_log (its log lines).
await_job() {
  wait_until "${1:-60}" "end of job $job" ended "$job"
  job_log=$(grep -F "[Job $job]" "$log")
}
expect_log() { grep -qF -- "$1" <<<"$job_log" || fail "job $job: no \"$1\" in its log:"$'\n'"$job_log"; }

# ipp_print FROM NAME VALUE [NAME VALUE...]: prints the PDF to the class from
# desktop FROM (or "local", the fax server's loopback) in a Print-Job request
# written by hand, carrying each job attribute NAME (any bytes, blanks too)
# with its VALUE; sets $job.
ipp_print() {
  local server run=in_desks
  case $1 in A) server=192.0.2.21 ;; B) server=192.0.2.22 ;; C) server=192.0.2.23 ;; local) server=127.0.0.1 run=in_server ;; esac
  shift
  local body=$work/ipp.body
  u16() { printf "\\x$(printf %02x $(($1 >> 8)))\\x$(printf %02x $(($1 & 255)))"; }
  attr() { printf "\\x$1"; u16 ${#2}; printf '%s' "$2"; u16 ${#3}; printf '%s' "$3"; }
  {
    printf '\x02\x00\x00\x02\x00\x00\x00\x01\x01'
    attr 47 attributes-charset utf-8
    attr 48 attributes-natural-language en
    attr 45 printer-uri "ipp://$server/classes/fax"
    attr 42 requesting-user-name alice
    attr 49 document-format application/pdf
    printf '\x02'
    while (($# >= 2)); do
      if [ "$1" = job-uuid ]; then attr 45 "$1" "$2"; else attr 42 "$1" "$2"; fi
      shift 2
    done
    printf '\x03'
    cat "$pdf"
  } >"$body"
  local before
  before=$(grep -c 'Queued on' "$log" || true)
  $run bash -c 'exec 3<>"/dev/tcp/$1/631"
    printf "POST /classes/fax HTTP/1.1\r\nHost: %s\r\nContent-Type: application/ipp\r\nContent-Length: %s\r\nConnection: close\r\n\r\n" "$1" "$(stat -c %s "$2")" >&3
    cat "$2" >&3
    head -c 15 <&3' ipp "$server" "$body" | grep -q '200 OK' || fail "the hand-written Print-Job was refused"
  job_queued() { (($(grep -c 'Queued on' "$log" || true) > before)); }
  wait_until 10 "the hand-written job" job_queued
  job=$(grep -o '\[Job [0-9]*\] Queued on' "$log" | tail -1 | grep -o '[0-9]*')
}
