"""A shared host, end to end (started by shared_host.sh, as root, inside
private network and process namespaces): the dispatcher on port 5555, two
users each with an X server and the program, a third user without one.
Plays the fax servers on loopback and, through xdotool, each user."""
import os
import pwd
import select
import socket
import subprocess
import sys
import threading
import time

PORT = 5555
DIALOG = "^Send a fax - Corvane Tesk$"
CONFIRM_BOX = "^Fax transmission!$"
FIRST_CONTACT = (60, 176)
CANCEL_BUTTON = (104, 452)
SEND_BUTTON = (468, 452)

work, alice, bob, carol = sys.argv[1:5]
registry = os.path.join(work, "run", "register")
failures = []


def check(condition, what):
    print(("ok   " if condition else "FAIL ") + what, flush=True)
    if not condition:
        failures.append(what)


def wait_for(condition, timeout, step=0.05):
    deadline = time.monotonic() + timeout
    while True:
        result = condition()
        if result or time.monotonic() >= deadline:
            return result
        time.sleep(step)


def as_user(name):
    entry = pwd.getpwnam(name)
    return dict(user=entry.pw_uid, group=entry.pw_gid, extra_groups=[], cwd=entry.pw_dir)


# ---- The dispatcher ----

class Dispatcher:
    def __init__(self):
        self.process = None
        self.log = []

    def start(self, inherited=False):
        command = [os.path.join(work, "corvane-tesk-dispatcher"), "--port", str(PORT), "--socket", registry]
        kept = []
        if inherited:
            # As the service manager passes them: the port, then the
            # registration socket, from descriptor 3, for this process only.
            fax = socket.create_server(("", PORT), family=socket.AF_INET6, dualstack_ipv6=True, backlog=64)
            programs = socket.socket(socket.AF_UNIX, socket.SOCK_SEQPACKET)
            if os.path.exists(registry):
                os.unlink(registry)
            programs.bind(registry)
            os.chmod(registry, 0o666)
            programs.listen(64)
            kept = [fax, programs]
            command = ["sh", "-c", 'eval "exec 3<&$1 4<&$2"; LISTEN_PID=$$ LISTEN_FDS=2 exec "$0"',
                       command[0], str(fax.fileno()), str(programs.fileno())]
        self.process = subprocess.Popen(command, stdout=subprocess.PIPE, stderr=subprocess.PIPE,
                                        pass_fds=[s.fileno() for s in kept])
        for s in kept:
            s.close()
        ready, _, _ = select.select([self.process.stdout], [], [], 10)
        if not ready or self.process.stdout.readline().strip() != b"ready":
            raise RuntimeError("the dispatcher did not start")
        threading.Thread(target=self._read_log, args=(self.process.stderr,), daemon=True).start()

    def _read_log(self, stream):
        for line in stream:
            self.log.append(line.decode("utf-8", "replace").strip())

    def mark(self):
        return len(self.log)

    def wait_log(self, since, *texts, timeout=30):
        return wait_for(lambda: any(all(text in line for text in texts) for line in self.log[since:]), timeout)

    def stop(self):
        self.process.terminate()
        self.process.wait(10)


# ---- Each user's desktop: an X server, the program, the user's hands ----

class Desktop:
    def __init__(self, user, number):
        self.user = user
        self.number = number
        self.home = pwd.getpwnam(user).pw_dir
        self.xvfb = self.program = None
        self.display = None

    def start(self, dispatcher):
        read_end, write_end = os.pipe()
        self.xvfb = subprocess.Popen(
            ["Xvfb", "-displayfd", str(write_end), "-screen", "0", "1024x768x24", "-nolisten", "tcp"],
            pass_fds=(write_end,), stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL, **as_user(self.user))
        os.close(write_end)
        with os.fdopen(read_end) as pipe:
            self.display = ":" + pipe.readline().strip()
        book = os.path.join(self.home, "contacts.vcf")
        with open(book, "w") as out:
            out.write("BEGIN:VCARD\r\nVERSION:3.0\r\nN:Contact;%s;;;\r\nTEL;TYPE=WORK,FAX:%s\r\nEND:VCARD\r\n"
                      % (self.user, self.number))
        os.chown(book, pwd.getpwnam(self.user).pw_uid, -1)
        env = {
            "PATH": "/usr/bin:/bin", "HOME": self.home, "XDG_RUNTIME_DIR": self.home, "LANG": "C.UTF-8",
            "DISPLAY": self.display, "QT_QPA_PLATFORM": "xcb", "CORVANE_TESK_ADDRESSBOOK": "vcard:" + book,
            "CORVANE_TESK_DISPATCHER": registry,
            # What the program could claim about its user, were it asked:
            # another user's name. The dispatcher asks the system instead.
            "USER": carol, "LOGNAME": carol,
        }
        since = dispatcher.mark()
        self.program = subprocess.Popen([os.path.join(work, "corvane-tesk")], env=env,
                                        stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL, **as_user(self.user))
        if not dispatcher.wait_log(since, "program of %s (uid" % self.user, "registered"):
            raise RuntimeError("the program of %s did not register" % self.user)

    def stop_program(self):
        self.program.terminate()
        self.program.wait(10)

    def xdotool(self, *args):
        result = subprocess.run(["xdotool", *map(str, args)], capture_output=True, text=True, timeout=10,
                                env=dict(os.environ, DISPLAY=self.display))
        return result.stdout.split()

    def windows(self, name):
        return self.xdotool("search", "--onlyvisible", "--name", name)

    def wait_window(self, name, timeout=15):
        found = wait_for(lambda: self.windows(name), timeout)
        return found[0] if found else None

    def click(self, window, offset):
        geometry = dict(item.split("=") for item in self.xdotool("getwindowgeometry", "--shell", window))
        self.xdotool("mousemove", "--sync", int(geometry["X"]) + offset[0], int(geometry["Y"]) + offset[1],
                     "click", "1")

    def answer(self):
        """Picks the one contact, sends, confirms; False if a window never came."""
        dialog = self.wait_window(DIALOG)
        if not dialog:
            return False
        box = None
        deadline = time.monotonic() + 15
        while not box and time.monotonic() < deadline:
            self.click(dialog, FIRST_CONTACT)
            self.click(dialog, SEND_BUTTON)
            box = self.wait_window(CONFIRM_BOX, 1)
        if not box:
            return False
        self.xdotool("windowfocus", "--sync", box, "key", "Return")
        return True

    def cancel(self):
        dialog = self.wait_window(DIALOG)
        if dialog:
            self.click(dialog, CANCEL_BUTTON)
        return bool(dialog)

    def stop(self):
        for process in (self.program, self.xvfb):
            if process and process.poll() is None:
                process.terminate()
                process.wait(10)


# ---- The fax servers ----

class ResetEarly:
    """A connection reset before its first line was written: the write took the error."""


def ask(first=b""):
    peer = socket.create_connection(("127.0.0.1", PORT), timeout=5)
    try:
        if first:
            peer.sendall(first)
    except (ConnectionResetError, BrokenPipeError):
        peer.close()
        return ResetEarly()
    return peer


def outcome(peer, timeout=10):
    """What the fax server got: the reply, "closed" (no data), "reset" or "nothing"."""
    if isinstance(peer, ResetEarly):
        return "reset"
    peer.settimeout(timeout)
    data = b""
    try:
        while True:
            chunk = peer.recv(4096)
            if not chunk:
                break
            data += chunk
    except ConnectionResetError:
        return "reset"
    except socket.timeout:
        return "nothing"
    finally:
        peer.close()
    return data.decode("utf-8", "replace") if data else "closed"


def user_line(name):
    return ("USER %s\r\n" % name).encode()


ROGUE = r"""
import socket, sys
s = socket.socket(socket.AF_UNIX, socket.SOCK_SEQPACKET)
s.connect(sys.argv[1])
for claim in (b"USER %s" % sys.argv[2].encode(), sys.argv[2].encode(), b"READY 0"):
    s.send(claim)
print("registered", flush=True)
s.settimeout(float(sys.argv[3]))
try:
    print("handed" if s.recv(64) else "nothing", flush=True)
except socket.timeout:
    print("nothing", flush=True)
"""

TAKE_PORT = r"""
import socket
for family, address in ((socket.AF_INET, "0.0.0.0"), (socket.AF_INET6, "::"), (socket.AF_INET, "127.0.0.1")):
    s = socket.socket(family, socket.SOCK_STREAM)
    s.setsockopt(socket.SOL_SOCKET, socket.SO_REUSEADDR, 1)
    s.setsockopt(socket.SOL_SOCKET, socket.SO_REUSEPORT, 1)
    try:
        s.bind((address, 5555))
        s.listen(1)
        print("taken", address, flush=True)
    except OSError as error:
        print("refused", address, error.errno, flush=True)
"""


def main():
    os.makedirs("/tmp/.X11-unix", mode=0o1777, exist_ok=True)
    os.makedirs(os.path.dirname(registry), mode=0o755)
    dispatcher = Dispatcher()
    dispatcher.start()
    desktops = {alice: Desktop(alice, "0301111111"), bob: Desktop(bob, "0302222222")}
    try:
        for desktop in desktops.values():
            desktop.start(dispatcher)
        run(dispatcher, desktops[alice], desktops[bob])
    finally:
        for desktop in desktops.values():
            desktop.stop()
        dispatcher.stop()
    print("%d failed" % len(failures) if failures else "all passed")
    return 1 if failures else 0


def run(dispatcher, a, b):
    def delivered(desktop, other, line):
        peer = ask(line)
        shown = desktop.wait_window(DIALOG) is not None
        check(shown, "%r shows the dialog on %s's screen" % (line, desktop.user))
        check(not other.windows(DIALOG), "%r shows nothing on %s's screen" % (line, other.user))
        check(shown and desktop.answer(), "%s answers" % desktop.user)
        reply = outcome(peer)
        check(reply.startswith(desktop.number + "\r\n"),
              "%r: the fax server gets %s's reply (got %r)" % (line, desktop.user, reply[:40]))

    print("== each user's fax reaches that user's screen, and the reply the fax server")
    delivered(a, b, user_line(alice))
    delivered(b, a, user_line("EXAMPLE\\" + bob.upper()))
    delivered(a, b, user_line(alice.capitalize() + "@EXAMPLE.ORG"))

    print("== nobody else can take the port")
    taken = subprocess.run([sys.executable, "-c", TAKE_PORT], capture_output=True, text=True, timeout=30,
                           **as_user(carol)).stdout
    check("taken" not in taken, "%s cannot listen on port 5555 beside the dispatcher: %s"
          % (carol, taken.strip().replace("\n", "; ")))

    print("== a user without a program, or without an account, is refused")
    check(outcome(ask(user_line(carol))) == "reset", "%s, with no program, is refused" % carol)
    check(outcome(ask(user_line("nosuchuser"))) == "reset", "an unknown user is refused")

    print("== a busy user is refused, and another program's claim to be them changes nothing")
    first = ask(user_line(alice))
    check(a.wait_window(DIALOG) is not None, "alice's first fax opens her dialog")
    check(outcome(ask(user_line(alice))) == "reset", "a second fax for busy alice is refused")
    rogue = subprocess.Popen([sys.executable, "-c", ROGUE, registry, alice, "3"], stdout=subprocess.PIPE,
                             text=True, **as_user(carol))
    check(rogue.stdout.readline().strip() == "registered", "carol's program registers, claiming to be alice")
    check(outcome(ask(user_line(alice))) == "reset", "a fax for busy alice is still refused")
    check(rogue.stdout.readline().strip() == "nothing", "carol's program was handed nothing")
    rogue.wait(10)
    check(a.cancel(), "alice cancels")
    check(outcome(first) == "closed", "the cancelled fax ends without a reply")

    print("== a fax server that names nobody: refused while two users are registered")
    started = time.monotonic()
    check(outcome(ask()) == "reset", "with two users registered, silence is refused")
    check(time.monotonic() - started < 3, "within about a second")
    check(not a.windows(DIALOG) and not b.windows(DIALOG), "no dialog opened")

    print("== hostile first lines are refused, and open nothing")
    for line in (b"USER " + b"a" * 300 + b"\r\n", b"USER alice\n", b"USER \r\n", b"USER ../" + alice.encode() + b"\r\n",
                 b"USER " + alice.encode() + b"\x00\r\n", b"user " + alice.encode() + b"\r\n",
                 b"USER " + alice.encode() + b" " + bob.encode() + b"\r\n", b"\xff\xfe\r\n", b"A" * 100000):
        check(outcome(ask(line)) == "reset", "refused: %r" % line[:40])
    check(not a.windows(DIALOG) and not b.windows(DIALOG), "no dialog opened")

    print("== with one user left, a fax server that names nobody reaches that user")
    since = dispatcher.mark()
    b.stop_program()
    check(dispatcher.wait_log(since, "program of %s (uid" % bob, "gone"), "bob's program is gone")
    delivered(a, b, b"")

    print("== the dispatcher from inherited sockets, as the service manager starts it")
    dispatcher.stop()
    since = dispatcher.mark()
    dispatcher.start(inherited=True)
    check(dispatcher.wait_log(since, "program of %s (uid" % alice, "registered"), "alice's program registers again")
    delivered(a, b, user_line(alice))


if __name__ == "__main__":
    sys.exit(main())
