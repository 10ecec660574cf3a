#!/usr/bin/env bash
# Manual check of what a screen reader is told (not run in CI; about a
# minute for both runs, plus the build when it is not up to date).
#
# Under Xvfb with a tray host, once with no window manager and once under
# openbox, with the accessibility bus running: a fax server makes three
# requests (the first ended by a send, the second by Cancel after a tab was
# clicked, the third by a send) while a user works the dialog with mouse and
# keyboard. For each request it checks over AT-SPI that the dialog is
# reported active, with an activation event, and that exactly the control
# holding the keyboard focus is reported focused, with a focus event: when
# the dialog appears, after a tab is clicked and after a number is typed.
# Where the focus really is, is proved by the keyboard: typed digits must
# land in the box reported focused, arrow keys must move the tab reported
# focused. Prints a table per run; exits non-zero on any fault.
#
#   scripts/check-accessibility.sh [--wm none|openbox|both] [--shot FILE.png] [PROGRAM]
#
# PROGRAM defaults to the release build, built first. --shot saves the whole
# screen while the second request's dialog is up (under the last run's
# window manager). Uses port 5555; when something already listens there, the
# runs go into a private network namespace. Installs what it needs (root).
set -euo pipefail
cd "$(dirname "$0")/.."

wms=(none openbox)
shot=""
program=""
while (($#)); do
  case "$1" in
    --wm) shift; case "$1" in both) wms=(none openbox) ;; none|openbox) wms=("$1") ;; *) echo "--wm none|openbox|both" >&2; exit 2 ;; esac ;;
    --shot) shift; shot="$(realpath -m "$1")" ;;
    --run) shift; break ;; # internal: one run inside its own session bus
    -*) echo "unknown option $1" >&2; exit 2 ;;
    *) program="$(realpath "$1")" ;;
  esac
  shift
done

work_dir() { mktemp -d "${TMPDIR:-/tmp}/check-accessibility.XXXXXX"; }

# ---- One run: called as "--run WM PROGRAM WORKDIR SHOT" under dbus-run-session.
if [ "${1:-}" = none ] || [ "${1:-}" = openbox ]; then
  wm="$1" program="$2" work="$3" shot="$4"
  pids=()
  cleanup() {
    local pid
    for ((i = ${#pids[@]} - 1; i >= 0; i--)); do
      pid="${pids[i]}"
      kill "$pid" 2>/dev/null || true
      for _ in $(seq 30); do kill -0 "$pid" 2>/dev/null || break; sleep 0.1; done
      kill -9 "$pid" 2>/dev/null || true
    done
  }
  trap cleanup EXIT

  Xvfb -displayfd 5 -screen 0 1024x768x24 -nolisten tcp 5>"$work/display" >/dev/null 2>&1 &
  pids+=($!)
  for _ in $(seq 100); do [ -s "$work/display" ] && break; sleep 0.1; done
  export DISPLAY=":$(head -n1 "$work/display")"
  trayer --edge top --align right --widthtype request --height 24 --transparent false --tint 0x303040 >/dev/null 2>&1 &
  pids+=($!)
  /usr/bin/python3 "$work/drive.py" --wait-for-tray
  if [ "$wm" = openbox ]; then
    openbox >/dev/null 2>&1 &
    pids+=($!)
    sleep 1
  fi
  /usr/libexec/at-spi-bus-launcher --launch-immediately >/dev/null 2>&1 &
  pids+=($!)
  for _ in $(seq 50); do
    # Asks without activating: activation would start a second launcher.
    dbus-send --session --print-reply --dest=org.freedesktop.DBus /org/freedesktop/DBus \
      org.freedesktop.DBus.NameHasOwner string:org.a11y.Bus 2>/dev/null | grep -q 'boolean true' && break
    sleep 0.1
  done

  listening() { ss -Hltn 'sport = :5555' | grep -q .; }
  ! listening || { echo "port 5555 is taken" >&2; exit 1; }
  HOME="$work" XDG_RUNTIME_DIR="$work" CORVANE_TESK_ADDRESSBOOK="vcard:$work/contacts" QT_QPA_PLATFORM=xcb \
    QT_LINUX_ACCESSIBILITY_ALWAYS_ON=1 QT_ACCESSIBILITY=1 "$program" 2>"$work/program-$wm.log" &
  pids+=($!)
  for _ in $(seq 100); do listening && break; sleep 0.1; done
  listening || { echo "the program does not listen on 5555" >&2; cat "$work/program-$wm.log" >&2; exit 1; }
  /usr/bin/python3 "$work/drive.py" "${pids[-1]}" 5555 "$wm" "$shot"
  exit $?
fi

# ---- Set-up: packages, build, then one run per window manager.
needed=(xvfb trayer openbox xdotool x11-utils imagemagick iproute2 util-linux dbus
        at-spi2-core python3-pyatspi gir1.2-atspi-2.0)
missing=()
for package in "${needed[@]}"; do
  dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q 'install ok installed' || missing+=("$package")
done
if ((${#missing[@]})); then
  sudo_=(); [ "$(id -u)" -eq 0 ] || sudo_=(sudo)
  "${sudo_[@]}" apt-get update -qq
  DEBIAN_FRONTEND=noninteractive "${sudo_[@]}" apt-get install -y -qq "${missing[@]}" >/dev/null
fi

if [ -z "$program" ]; then
  cmake --preset release >/dev/null
  cmake --build --preset release
  program="$PWD/build/release/src/qt/corvane-tesk"
fi

work="$(work_dir)"
trap 'rm -rf "$work"' EXIT
mkdir -p "$work/contacts"
cp data/sample-contacts.vcf "$work/contacts/"

cat > "$work/drive.py" <<'PY'
"""Plays the fax server and a user on the keyboard and mouse; reads what
AT-SPI reports of the dialog. One table row per request; exit 1 on a fault."""
import ctypes
import socket
import subprocess
import sys
import time

if sys.argv[1] == "--wait-for-tray":
    # The program needs a tray at start; trayer takes a moment to own it.
    x11 = ctypes.cdll.LoadLibrary("libX11.so.6")
    x11.XOpenDisplay.restype = ctypes.c_void_p
    x11.XInternAtom.argtypes = [ctypes.c_void_p, ctypes.c_char_p, ctypes.c_int]
    x11.XInternAtom.restype = ctypes.c_ulong
    x11.XGetSelectionOwner.argtypes = [ctypes.c_void_p, ctypes.c_ulong]
    x11.XGetSelectionOwner.restype = ctypes.c_ulong
    display = x11.XOpenDisplay(None)
    tray = x11.XInternAtom(display, b"_NET_SYSTEM_TRAY_S0", 0)
    for _ in range(100):
        if x11.XGetSelectionOwner(display, tray):
            sys.exit(0)
        time.sleep(0.1)
    sys.exit("no tray host")

import pyatspi
from gi.repository import GLib

PID, PORT, WM, SHOT = int(sys.argv[1]), int(sys.argv[2]), sys.argv[3], sys.argv[4]
CAPTION = "Send a fax - Corvane Tesk"
TYPED_TAB, BOOK_TAB = "Enter a fax number", "Use Outlook address book"

events = []


def on_event(event):
    try:
        events.append((event.type, event.source, event.detail1))
    except Exception:  # the source may be gone already
        pass


for kind in ("object:state-changed:focused", "window:activate"):
    pyatspi.Registry.registerEventListener(on_event, kind)


def pump(seconds):
    end = time.monotonic() + seconds
    context = GLib.MainContext.default()
    while time.monotonic() < end:
        while context.pending():
            context.iteration(False)
        time.sleep(0.02)


def xdotool(*args):
    subprocess.run(["xdotool", *map(str, args)], check=True)
    pump(0.8)


def windows():
    for app in pyatspi.Registry.getDesktop(0):
        if app is not None and app.get_process_id() == PID:
            return [w for w in app if w is not None and w.getState().contains(pyatspi.STATE_SHOWING)]
    return []


def dialog():
    return next((w for w in windows() if w.name == CAPTION), None)


def walk(node):
    yield node
    for child in node:
        if child is not None:
            yield from walk(child)


def find(root, role, name=None):
    for node in walk(root):
        if node.getRoleName() == role and (name is None or node.name == name) \
                and node.getState().contains(pyatspi.STATE_SHOWING):
            return node
    raise SystemExit(f"{WM}: no {role} {name or ''} on the screen")


def describe(node):
    if node.getRoleName() == "page tab list":
        return f"tabs ('{node.name}')"
    return f"{node.getRoleName()} '{node.name}'" if node.name else node.getRoleName()


def inside(node, ancestor):
    while node is not None:
        if node == ancestor:
            return True
        node = node.parent
    return False


def click(node):
    x, y, w, h = node.queryComponent().getExtents(pyatspi.DESKTOP_COORDS)
    xdotool("mousemove", x + w // 2, y + h // 2, "click", "1")


faults = []


def report(request, step, window, since, truth=None):
    """What is reported focused at this step, checked against the truth.

    A control and its current item (the tab row and its current tab, the list
    and its current entry) are one focus; anything focused outside that chain
    is a second one. The focus event must name the control or its item."""
    window.clear_cache()  # the states as the program reports them now
    focused = [n for n in walk(window) if n.getState().contains(pyatspi.STATE_FOCUSED)]
    problem = ""
    if not focused:
        text = "nothing"
        problem = "nothing reported focused"
    else:
        control = focused[0]
        text = describe(control)
        strays = [n for n in focused[1:] if not inside(n, control)]
        if strays:
            text += " + " + ", ".join(describe(n) for n in strays)
            problem = "more than one control reported focused"
        elif truth is not None and control != truth:
            text += f", focus is on {describe(truth)}"
            problem = "focus reported elsewhere"
        elif not any(kind.endswith("focused") and detail == 1 and inside(source, control)
                     for kind, source, detail in events[since:]):
            text += ", no event"
            problem = "no focus event"
    if problem:
        faults.append(f"request {request}, {step}: {problem} ({text})")
        return "FAULT " + text
    return text


def start_probe(request, window):
    """Proves with the keyboard which control has the focus as the dialog
    appears: digits land in the number box, an arrow key moves the tabs."""
    mark = len(events)
    tabs = find(window, "page tab list")
    box = find(window, "text") if tabs.name == TYPED_TAB else None
    before = tabs.name
    xdotool("type", "9")
    if box is not None and box.queryText().getText(0, -1) == "9":
        xdotool("key", "BackSpace")
        return box, mark
    xdotool("key", "Right" if before == TYPED_TAB else "Left")
    tabs.clear_cache()
    if tabs.name != before:
        return tabs, mark
    return None, mark


def connect():
    deadline = time.monotonic() + 20
    while time.monotonic() < deadline:
        try:
            peer = socket.create_connection(("127.0.0.1", PORT), timeout=2)
        except OSError:
            pump(0.2)
            continue
        for _ in range(50):
            pump(0.2)
            window = dialog()
            if window is not None:
                pump(1.0)
                return peer, window
        peer.close()
    raise SystemExit(f"{WM}: the dialog did not appear")


def confirm():
    for _ in range(50):
        pump(0.2)
        for window in windows():
            if window.name != CAPTION:
                click(find(window, "push button", "OK"))
                return
    raise SystemExit(f"{WM}: no confirmation box")


def reply(peer):
    peer.settimeout(10)
    data = b""
    while chunk := peer.recv(4096):
        data += chunk
    peer.close()
    return data


rows = []
plan = [(1, "Send", "0123"), (2, "tab, Cancel", "456"), (3, "Send", "789")]
for request, ending, digits in plan:
    mark = len(events)
    peer, window = connect()
    if request == 2 and SHOT:
        subprocess.run(["import", "-window", "root", SHOT], check=True)
    window.clear_cache()
    active = window.getState().contains(pyatspi.STATE_ACTIVE)
    activated = any(kind == "window:activate" and source == window for kind, source, _ in events[mark:])
    if not active:
        faults.append(f"request {request}: the dialog is not reported active")
    if not activated:
        faults.append(f"request {request}: no activation event")
    truth, _ = start_probe(request, window)
    at_start = report(request, "as it appears", window, mark, truth)
    if truth is None:
        faults.append(f"request {request}: the keys reached no control")
        at_start += " (keys reached nothing)"

    # A tab other than the current one: the focus event is due even where
    # the tab row had the focus already.
    mark = len(events)
    tabs = find(window, "page tab list")
    other = BOOK_TAB if tabs.name == TYPED_TAB else TYPED_TAB
    click(find(window, "page tab", other))
    after_tab = report(request, "after a tab click", window, mark, tabs)
    if other != TYPED_TAB:
        click(find(window, "page tab", TYPED_TAB))

    mark = len(events)
    box = find(window, "text")
    click(box)
    xdotool("type", "--delay", "40", digits)
    typed = box.queryText().getText(0, -1)
    if typed != digits:
        faults.append(f"request {request}: typed {digits}, the box holds {typed!r}")
    after_typing = report(request, "after typing", window, mark, box)

    if ending == "Send":
        click(find(window, "push button", "Send this fax"))
        confirm()
        expected = digits.encode() + b"\r\n \r\n \r\n \r\n"
    else:
        click(find(window, "page tab", BOOK_TAB))
        click(find(window, "push button", "Cancel fax"))
        expected = b""
    sent = reply(peer)
    if sent != expected:
        faults.append(f"request {request}: the fax server got {sent!r}")
    rows.append((str(request), "yes" if active else "FAULT no", "yes" if activated else "FAULT no",
                 at_start, after_tab, after_typing, ending))

header = ("req", "active", "activate event", "focused at start (after probe)", "after a tab click", "after typing", "ended by")
table = [header] + rows
widths = [max(len(row[i]) for row in table) for i in range(len(header))]
print(f"\n== window manager: {WM}")
for row in table:
    print(" | ".join(cell.ljust(width) for cell, width in zip(row, widths)).rstrip())
for fault in faults:
    print(f"FAULT ({WM}) {fault}")
sys.exit(1 if faults else 0)
PY

# Port 5555 taken (another copy, a benchmark): the runs go into a private
# network namespace with its own loopback; the session bus and X are started
# inside it, as their abstract sockets belong to the namespace.
namespace=()
if ss -Hltn 'sport = :5555' | grep -q .; then
  echo "port 5555 is in use here; running in a private network namespace"
  namespace=(unshare --net sh -c 'ip link set lo up && exec "$0" "$@"')
fi

status=0
for wm in "${wms[@]}"; do
  run_shot=""
  [ "$wm" = "${wms[-1]}" ] && run_shot="$shot"
  "${namespace[@]}" dbus-run-session -- bash "$0" --run "$wm" "$program" "$work" "$run_shot" \
    2> >(grep -v 'fd limit' >&2) || status=1
done
echo
[ "$status" -eq 0 ] && echo "accessibility: no fault" || echo "accessibility: FAULTS (see above)"
exit "$status"
