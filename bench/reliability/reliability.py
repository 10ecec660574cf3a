#!/usr/bin/env python3
"""Runs the real program under attack and prints what held, with figures.

    reliability.py PROGRAM BOOKS_DIR OUT.md

Run it as root inside a private network namespace of its own (see
scripts/reliability.sh): it takes port 5555, starts its own X server and
plays both the fax servers and, through xdotool, the user. Every loop is
bounded in count and in time; only loopback addresses are used.
"""
import os
import signal
import socket
import struct
import subprocess
import sys
import tempfile
import threading
import time

PORT = 5555
MIB = 1024 * 1024
DIALOG = "^Send a fax - Corvane Tesk$"
LOST_BOX = "^Error$"
CONFIRM_BOX = "^Fax transmission!$"
# Where the dialog's controls are, relative to its window (its layout is
# fixed: twips / 15).
FIRST_CONTACT = (60, 176)
CANCEL_BUTTON = (104, 452)
SEND_BUTTON = (468, 452)


# ---- What the system says about the port and the program ----

def listening_in(tables, port=PORT):
    """True when one of the /proc/net/tcp{,6} texts has a listener on port."""
    wanted = ":%04X" % port
    for text in tables:
        for line in text.splitlines()[1:]:
            fields = line.split()
            if len(fields) > 3 and fields[1].endswith(wanted) and fields[3] == "0A":
                return True
    return False


def listening():
    tables = []
    for name in ("/proc/net/tcp", "/proc/net/tcp6"):
        try:
            with open(name) as table:
                tables.append(table.read())
        except OSError:
            pass
    return listening_in(tables)


def rss_mib(pid):
    try:
        with open("/proc/%d/status" % pid) as status:
            for line in status:
                if line.startswith("VmRSS:"):
                    return int(line.split()[1]) / 1024
    except OSError:
        pass
    return float("nan")


def wait_for(condition, timeout, step=0.0005):
    """Seconds until condition() held, or None after timeout."""
    start = time.monotonic()
    while True:
        if condition():
            return time.monotonic() - start
        if time.monotonic() - start > timeout:
            return None
        time.sleep(step)


def is_reply(data):
    """A reply is four CR LF lines: digits, a blank, a blank or the recipient, a blank."""
    if not data.endswith(b"\r\n"):
        return False
    lines = data[:-2].split(b"\r\n")
    return (len(lines) == 4 and lines[0].isdigit() and lines[1] == b" " and lines[3] == b" "
            and len(lines[2]) > 0 and b"\r" not in lines[2] and b"\n" not in lines[2])


# ---- Fax servers ----

def connect(address="127.0.0.1", source=None, timeout=5):
    family = socket.AF_INET6 if ":" in address else socket.AF_INET
    peer = socket.socket(family, socket.SOCK_STREAM)
    peer.settimeout(timeout)
    if source:
        peer.bind((source, 0))
    try:
        peer.connect((address, PORT))
    except OSError:
        peer.close()
        raise
    return peer


def reset(peer):
    """Closes with a reset rather than an end-of-stream."""
    peer.setsockopt(socket.SOL_SOCKET, socket.SO_LINGER, struct.pack("ii", 1, 0))
    peer.close()


def read_all(peer, timeout):
    peer.settimeout(timeout)
    data = b""
    try:
        while len(data) < 65536:
            chunk = peer.recv(4096)
            if not chunk:
                return data
            data += chunk
    except OSError:
        return None
    return data


# ---- The desktop: an X server, the program, the user ----

class Desktop:
    def __init__(self, work):
        self.work = work
        self.xvfb = None
        self.display = None

    def start(self):
        read_end, write_end = os.pipe()
        self.xvfb = subprocess.Popen(
            ["Xvfb", "-displayfd", str(write_end), "-screen", "0", "1024x768x24", "-nolisten", "tcp"],
            pass_fds=(write_end,), stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        os.close(write_end)
        with os.fdopen(read_end) as pipe:
            self.display = ":" + pipe.readline().strip()

    def stop(self):
        stop_process(self.xvfb)

    def xdotool(self, *args, timeout=10):
        result = subprocess.run(["xdotool", *args], capture_output=True, text=True, timeout=timeout,
                                env=dict(os.environ, DISPLAY=self.display))
        return result.stdout.split()

    def windows(self, name):
        return self.xdotool("search", "--onlyvisible", "--name", name)

    def wait_window(self, name, timeout=10):
        found = []

        def seen():
            found[:] = self.windows(name)
            return bool(found)
        wait_for(seen, timeout, 0.05)
        return found[0] if found else None

    def click(self, window, offset):
        geometry = dict(item.split("=") for item in self.xdotool("getwindowgeometry", "--shell", window))
        x, y = int(geometry["X"]) + offset[0], int(geometry["Y"]) + offset[1]
        self.xdotool("mousemove", "--sync", str(x), str(y), "click", "1")

    def press(self, window, key):
        self.xdotool("windowfocus", "--sync", window, "key", key)

    def dismiss_lost_boxes(self, timeout=5, expected=True):
        """The user reads each "connection lost" box and presses Return. The
        box comes just after the port listens again: when one is expected,
        waits for it."""
        closed = 0
        if expected:
            self.wait_window(LOST_BOX, timeout)
        deadline = time.monotonic() + timeout
        while time.monotonic() < deadline:
            boxes = self.windows(LOST_BOX)
            if not boxes:
                break
            self.press(boxes[-1], "Return")
            closed += 1
            time.sleep(0.02)
        return closed

    def answer_first_contact(self):
        """Picks the first contact, sends, confirms. False if a window did not come."""
        dialog = self.wait_window(DIALOG)
        if not dialog:
            return False
        time.sleep(0.2)
        self.click(dialog, FIRST_CONTACT)
        time.sleep(0.2)
        self.click(dialog, SEND_BUTTON)
        box = self.wait_window(CONFIRM_BOX, 5)
        if not box:
            return False
        self.press(box, "Return")
        return True

    def cancel(self):
        dialog = self.wait_window(DIALOG)
        if not dialog:
            return False
        time.sleep(0.2)
        self.click(dialog, CANCEL_BUTTON)
        return True


def stop_process(process):
    if process is None or process.poll() is not None:
        return
    process.send_signal(signal.SIGTERM)
    try:
        process.wait(5)
    except subprocess.TimeoutExpired:
        process.kill()
        process.wait()


class Program:
    def __init__(self, path, desktop, work):
        self.path = path
        self.desktop = desktop
        self.work = work
        self.process = None
        self.stderr = None

    def start(self, book, servers=None):
        home = tempfile.mkdtemp(prefix="home-", dir=self.work)
        os.chmod(home, 0o700)
        env = {
            "PATH": os.environ.get("PATH", "/usr/bin:/bin"),
            "HOME": home,
            "XDG_RUNTIME_DIR": home,
            "LANG": "C.UTF-8",
            "DISPLAY": self.desktop.display,
            "QT_QPA_PLATFORM": "xcb",
            "CORVANE_TESK_ADDRESSBOOK": "vcard:" + book,
        }
        if servers:
            env["CORVANE_TESK_FAX_SERVERS"] = servers
        self.stderr = tempfile.TemporaryFile(dir=self.work)
        started = time.monotonic()
        self.process = subprocess.Popen([self.path], env=env, stdout=subprocess.DEVNULL, stderr=self.stderr)
        if wait_for(listening, 60) is None:
            raise RuntimeError("the program did not listen within 60 s")
        return time.monotonic() - started

    @property
    def pid(self):
        return self.process.pid

    def rss(self):
        return rss_mib(self.pid)

    def alive(self):
        return self.process.poll() is None

    def errors(self):
        self.stderr.seek(0)
        return self.stderr.read().decode("utf-8", "replace")

    def stop(self):
        stop_process(self.process)
        self.process = None


def open_session(address="127.0.0.1", timeout=60):
    """Connects and waits until the program has taken the connection (its port closes)."""
    peer = connect(address)
    if wait_for(lambda: not listening(), timeout) is None:
        peer.close()
        raise RuntimeError("the program did not take the connection")
    return peer


def reset_cycle(timeout=60):
    """connect, reset once taken, until listening again: seconds, or None."""
    started = time.monotonic()
    peer = open_session(timeout=timeout)
    reset(peer)
    if wait_for(listening, timeout) is None:
        return None
    return time.monotonic() - started


# ---- Scenarios: each returns (figures, held) ----

def flood(program, desktop, book, limit_bytes=1024 * MIB, limit_seconds=20, stall_seconds=3):
    program.start(book)
    flooder = open_session()
    desktop.wait_window(DIALOG)
    rss_before = program.rss()
    sent = [0]
    stop = threading.Event()

    def pour():
        chunk = b"\0" * MIB
        flooder.settimeout(0.5)
        started = progress = time.monotonic()
        while sent[0] < limit_bytes and time.monotonic() - started < limit_seconds and not stop.is_set():
            try:
                sent[0] += flooder.send(chunk)
                progress = time.monotonic()
            except socket.timeout:
                # Flow control holds the flood back: the program reads nothing.
                if time.monotonic() - progress > stall_seconds:
                    break
            except OSError:
                break
    pourer = threading.Thread(target=pour)
    flood_started = time.monotonic()
    pourer.start()
    time.sleep(1)
    refused = 0
    for _ in range(10):
        try:
            connect(timeout=2).close()
        except ConnectionRefusedError:
            refused += 1
    pourer.join(limit_seconds + 5)
    flood_seconds = time.monotonic() - flood_started
    rss_during = program.rss()
    stop.set()
    reset(flooder)
    relisten = wait_for(listening, 30)
    desktop.dismiss_lost_boxes()
    rss_after = program.rss()
    asker = open_session()
    answered = desktop.answer_first_contact()
    reply = read_all(asker, 15) if answered else None
    asker.close()
    program.stop()
    held = (refused == 10 and relisten is not None and relisten < 1.0 and rss_after - rss_before < 16
            and reply is not None and is_reply(reply))
    figures = ("peer pushed %.1f MiB in %.0f s, then flow control held it (aim %d MiB); "
               "second peer refused %d/10; RSS %.1f → %.1f (during) → %.1f MiB after; "
               "listening again %s after the reset; next request answered: %s" % (
                   sent[0] / MIB, flood_seconds, limit_bytes // MIB, refused, rss_before, rss_during, rss_after,
                   "%.1f ms" % (relisten * 1000) if relisten is not None else "never",
                   "four lines" if reply and is_reply(reply) else repr(reply)))
    return figures, held


def storm_in_session(program, desktop, book, attempts=10000, limit_seconds=60):
    program.start(book)
    holder = open_session()
    desktop.wait_window(DIALOG)
    rss_before = program.rss()
    refused = taken = 0
    started = time.monotonic()
    for _ in range(attempts):
        if time.monotonic() - started > limit_seconds:
            break
        try:
            connect(timeout=2).close()
            taken += 1
        except ConnectionRefusedError:
            refused += 1
        except OSError:
            pass
    seconds = time.monotonic() - started
    rss_after = program.rss()
    cancelled = desktop.cancel()
    ending = read_all(holder, 10) if cancelled else None
    holder.close()
    relisten = wait_for(listening, 10)
    program.stop()
    held = (refused == attempts and taken == 0 and ending == b"" and relisten is not None
            and rss_after - rss_before < 8)
    figures = ("%d attempts in %.1f s (%.0f/s): %d refused, %d taken; RSS %.1f → %.1f MiB; "
               "Cancel fax then ended the session without a byte: %s; listening again: %s" % (
                   refused + taken, seconds, (refused + taken) / seconds, refused, taken, rss_before, rss_after,
                   "yes" if ending == b"" else repr(ending), "yes" if relisten is not None else "no"))
    return figures, held


def reset_peers(program, desktop, book, count, dismiss, limit_seconds=120):
    """count connect-and-reset peers in a row; the user presses OK on each box or is away."""
    program.start(book)
    rss = []
    times = []
    started = time.monotonic()
    while len(times) < count and time.monotonic() - started < limit_seconds and program.alive():
        try:
            cycle = reset_cycle(timeout=10)
        except (OSError, RuntimeError):
            break
        if cycle is None:
            break
        times.append(cycle)
        if dismiss:
            desktop.dismiss_lost_boxes()
        rss.append(program.rss())
    seconds = time.monotonic() - started
    boxes_open = len(desktop.windows(LOST_BOX)) if program.alive() else 0
    still = program.alive() and listening()
    program.stop()
    return {
        "sessions": len(times), "seconds": seconds,
        # After the first session, whose dialog and box are the first drawn.
        "rss_first": rss[0] if rss else float("nan"), "rss_last": rss[-1] if rss else float("nan"),
        "median_ms": sorted(times)[len(times) // 2] * 1000 if times else float("nan"),
        "max_ms": max(times) * 1000 if times else float("nan"), "boxes_open": boxes_open, "listening": still,
    }


def storm_idle(program, desktop, book, count=2000):
    r = reset_peers(program, desktop, book, count, dismiss=False)
    held = (r["sessions"] == count and r["listening"] and r["rss_last"] - r["rss_first"] < 32)
    figures = ("%d of %d connect-and-reset peers handled with nobody at the desk, %.0f sessions/s "
               "(median %.1f ms, max %.1f ms); RSS after the first %.1f, after the last %.1f MiB; %d \"connection lost\" boxes left open; "
               "still listening: %s" % (
                   r["sessions"], count, r["sessions"] / r["seconds"], r["median_ms"], r["max_ms"],
                   r["rss_first"], r["rss_last"], r["boxes_open"], "yes" if r["listening"] else "no"))
    return figures, held


def resets_in_a_row(program, desktop, book, count=200):
    r = reset_peers(program, desktop, book, count, dismiss=True)
    held = (r["sessions"] == count and r["listening"] and r["rss_last"] - r["rss_first"] < 8
            and r["boxes_open"] == 0)
    figures = ("%d of %d sessions ended by the peer's reset, each \"connection lost\" box answered; "
               "connect to listening again median %.1f ms, max %.1f ms; RSS after the first %.1f, after the last %.1f MiB; "
               "still listening: %s" % (
                   r["sessions"], count, r["median_ms"], r["max_ms"], r["rss_first"], r["rss_last"],
                   "yes" if r["listening"] else "no"))
    return figures, held


def hostile_book(program, desktop, path, requests=1, change=None, max_seconds=5.0, max_rss=256.0):
    startup = program.start(path)
    times, rss = [], []
    for request in range(requests):
        if change and request:
            change(path, request)
        cycle = reset_cycle(timeout=120)
        desktop.dismiss_lost_boxes()
        times.append(cycle)
        rss.append(program.rss())
    errors = program.errors()
    program.stop()
    done = [t for t in times if t is not None]
    held = (len(done) == requests and max(done) < max_seconds and max(rss) < max_rss)
    if requests > 1:
        held = held and rss[-1] - rss[0] < 16
    figures = "start %.2f s; request%s %s; RSS after %s MiB" % (
        startup, "s" if requests > 1 else "",
        ", ".join("%.2f s" % t if t is not None else "never" for t in times),
        " → ".join("%.0f" % r for r in rss))
    if "more than" in errors:
        figures += "; cap reported on standard error"
    figures += " (held: each under %.0f s and %.0f MiB%s)" % (
        max_seconds, max_rss, ", growth under 16 MiB" if requests > 1 else "")
    return figures, held


def change_lone_cr(path, request):
    with open(path, "ab") as book:
        book.write(b"BEGIN:VCARD\r\nN:z\rre-read %d\r\nEND:VCARD\r\n" % request)


def utf16_book(program, desktop, path):
    program.start(path)
    asker = open_session()
    answered = desktop.answer_first_contact()
    reply = read_all(asker, 15) if answered else None
    asker.close()
    program.stop()
    held = reply == WIDE_REPLY
    if reply is None:
        return "no reply to a pick of the first contact", held
    lines = reply.decode("utf-8", "replace").split("\r\n")
    return "reply to a pick of the first contact: %d lines, number \"%s\", recipient \"%s\"%s" % (
        len(lines) - 1, lines[0], lines[2] if len(lines) > 2 else "",
        "" if held else " (expected %r)" % WIDE_REPLY), held


def who_may_ask(program, desktop, book, count=1000, limit_seconds=60):
    program.start(book, servers="127.0.0.2")
    rss_first = program.rss()
    closed_silently = 0
    times = []
    started = time.monotonic()
    for index in range(count):
        if time.monotonic() - started > limit_seconds:
            break
        begun = time.monotonic()
        try:
            peer = connect("::1" if index % 10 == 9 else "127.0.0.1")
        except OSError:
            continue
        if read_all(peer, 5) == b"":
            closed_silently += 1
            times.append(time.monotonic() - begun)
        peer.close()
    dialogs = len(desktop.windows(DIALOG))
    still = listening()
    rss_last = program.rss()
    # The listed server still gets its dialog.
    listed = connect(source="127.0.0.2")
    shown = desktop.wait_window(DIALOG, 10) is not None
    reset(listed)
    wait_for(listening, 10)
    desktop.dismiss_lost_boxes()
    program.stop()
    held = closed_silently == count and dialogs == 0 and still and shown
    figures = ("list 127.0.0.2; %d of %d peers from 127.0.0.1 and ::1 closed without a byte "
               "(median %.2f ms, max %.1f ms); dialogs shown: %d; still listening: %s; "
               "RSS %.1f → %.1f MiB; a peer from 127.0.0.2 got the dialog: %s" % (
                   closed_silently, count, sorted(times)[len(times) // 2] * 1000 if times else float("nan"),
                   max(times) * 1000 if times else float("nan"), dialogs, "yes" if still else "no",
                   rss_first, rss_last, "yes" if shown else "no"))
    return figures, held


# ---- The run ----

SAMPLE = """BEGIN:VCARD\r
VERSION:3.0\r
N:Zeller;Otto;;;\r
TEL;TYPE=WORK,FAX:+49 30 555 0199\r
END:VCARD\r
BEGIN:VCARD\r
VERSION:3.0\r
N:Smith;Ann;;;\r
ORG:Acme\r
TEL;TYPE=WORK,FAX:0161 496 0734\r
END:VCARD\r
"""
# One card, so that it is the first listed: its text must come through whole.
WIDE = """BEGIN:VCARD\r
VERSION:3.0\r
N:Ångström;Zoë;;;\r
ORG:Ölwerke\r
TEL;TYPE=WORK,FAX:+46 8 555 0123\r
END:VCARD\r
"""
WIDE_REPLY = "4685550123\r\n \r\nÖlwerke - (Ångström, Zoë)\r\n \r\n".encode()


def write_samples(folder):
    os.makedirs(folder, exist_ok=True)
    with open(os.path.join(folder, "sample.vcf"), "wb") as out:
        out.write(SAMPLE.encode("utf-8"))
    with open(os.path.join(folder, "utf16le.vcf"), "wb") as out:
        out.write(WIDE.encode("utf-16-le").join([b"\xff\xfe", b""]))
    with open(os.path.join(folder, "utf16be.vcf"), "wb") as out:
        out.write(WIDE.encode("utf-16-be").join([b"\xfe\xff", b""]))


def main():
    program_path, books, out_path = sys.argv[1:4]
    only = sys.argv[4:]  # scenario numbers to run, such as 1 2a 4; all when none
    work = tempfile.mkdtemp(prefix="reliability-")
    write_samples(books)
    sample = os.path.join(books, "sample.vcf")
    desktop = Desktop(work)
    program = Program(program_path, desktop, work)
    rows = []

    def run(name, scenario, *args, **kwargs):
        if only and not any(name.startswith(prefix) for prefix in only):
            return
        print("== " + name, file=sys.stderr, flush=True)
        started = time.monotonic()
        try:
            figures, held = scenario(program, desktop, *args, **kwargs)
        except Exception as error:  # a scenario that breaks is a failure, not the end of the run
            figures, held = "scenario broke: %s: %s" % (type(error).__name__, error), False
        finally:
            program.stop()
            desktop.dismiss_lost_boxes(1, expected=False)
        print("   %s (%.0f s)" % ("held" if held else "FAILED", time.monotonic() - started), file=sys.stderr, flush=True)
        rows.append((name, figures, held))

    desktop.start()
    try:
        run("1. Flood during a session", flood, sample)
        run("2a. Connection storm during a session", storm_in_session, sample)
        run("2b. Connection storm while idle (connect and reset)", storm_idle, sample)
        run("3. Reset peers in a row", resets_in_a_row, sample)
        run("4a. 1 MB parameter file", hostile_book, os.path.join(books, "param-1mb.vcf"))
        run("4b. 64 MiB of empty cards", hostile_book, os.path.join(books, "empty-64mib.vcf"))
        run("4c. 64 MiB of named cards (over the 100,000 cap)", hostile_book,
            os.path.join(books, "named-64mib.vcf"))
        run("4d. Lone-CR file, six re-reads of a changed file", hostile_book, os.path.join(books, "lone-cr.vcf"),
            requests=6, change=change_lone_cr)
        run("4e. UTF-16 little-endian file with byte-order mark", utf16_book, os.path.join(books, "utf16le.vcf"))
        run("4f. UTF-16 big-endian file with byte-order mark", utf16_book, os.path.join(books, "utf16be.vcf"))
        run("5. Who may ask: 1,000 unlisted peers", who_may_ask, sample)
    finally:
        program.stop()
        desktop.stop()

    table = ["| Scenario | Figures | Held? |", "|---|---|---|"]
    for name, figures, held in rows:
        table.append("| %s | %s | %s |" % (name, figures.replace("|", "\\|"), "held" if held else "**failed**"))
    with open(out_path, "w") as out:
        out.write("\n".join(table) + "\n")
    print("\n".join(table))
    return 0 if all(held for _, _, held in rows) else 1


if __name__ == "__main__":
    sys.exit(main())
