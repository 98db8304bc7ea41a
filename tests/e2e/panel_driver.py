"""Drives the built panel as a user would: real input with xdotool on a private X server, the
window read back over AT-SPI, projector-sim's frame log as the witness of the line.
Run as  python3 test_panel.py PANEL SIM [unittest arguments]."""

import ctypes
import errno
import fcntl
import os
import re
import shutil
import socket
import struct
import subprocess
import sys
import tempfile
import time
import unittest
from pathlib import Path

# Run by hand as well as by ctest: a port a test leaves unnamed must never be a real /dev/ttyS*.
for _port in ("TOLVEK_COM1", "TOLVEK_COM2"):
    if not os.environ.get(_port):
        os.environ[_port] = f"/nonexistent/{_port.lower()}"

WIDTH, CLOSED_DEPTH, FULL_DEPTH = 618, 321, 441  # client pixels at 96 dpi
PANEL = SIM = None
# The value lines, found by their descriptions: their names are their texts.
TXD, RXD, STATUS_LINE = "TXD: last text sent", "RXD: text received", "Status"


def extents(node):
    """(x, y, width, height) on the screen, as the panel reports it."""
    import pyatspi
    box = node.queryComponent().getExtents(pyatspi.DESKTOP_COORDS)
    return box.x, box.y, box.width, box.height


def showing(node):
    import pyatspi
    return node.getState().contains(pyatspi.STATE_SHOWING)


def poll(predicate, what, timeout=2.0):
    """The predicate's first true value, or a failure naming what did not happen."""
    deadline = time.monotonic() + timeout
    while not (value := predicate()):
        if time.monotonic() > deadline:
            raise AssertionError(f"not within {timeout} s: {what}")
        time.sleep(0.005)
    return value


def die_with_us():
    ctypes.CDLL(None).prctl(1, 9)  # PR_SET_PDEATHSIG: nothing outlives us when ctest's time-out kills us


def spawn(test, *args, status=0, **kwargs):
    """A process ended after the test as a user would end it, and killed if it will not go;
    it must have ended with the given status."""
    proc = test.enterContext(subprocess.Popen([str(a) for a in args], preexec_fn=die_with_us, **kwargs))

    def end():
        proc.terminate()
        try:
            proc.wait(5)
        except subprocess.TimeoutExpired:
            proc.kill()
        # Also how a sanitizer's report at exit shows.
        test.assertEqual(proc.wait(), status, f"{Path(args[0]).name} ended with status {proc.returncode}")
    test.addCleanup(end)
    return proc


def exclusive(device):
    """Whether the terminal refuses every opener but root (TIOCEXCL), as a port left open does."""
    try:
        fd = os.open(device, os.O_RDWR | os.O_NOCTTY | os.O_NONBLOCK)
    except OSError as e:
        if e.errno == errno.EBUSY:  # the refusal itself, for a user who is not root
            return True
        raise
    try:
        return struct.unpack("i", fcntl.ioctl(fd, 0x80045440, bytes(4)))[0] != 0  # TIOCGEXCL
    finally:
        os.close(fd)


def lock_files(device):
    """The lock files that name the device (the panel locks it by the path its links lead to)."""
    return list(Path("/run/lock").glob("LCK.." + str(device).removeprefix("/dev/").replace("/", "_")))


def scratch(test, prefix):
    """A directory of the test's own, removed after it."""
    work = Path(tempfile.mkdtemp(prefix=prefix))
    test.addCleanup(shutil.rmtree, work)
    return work


def free_port():
    """A loopback port nothing listens on, for a peer the test starts."""
    with socket.socket() as s:
        s.bind(("127.0.0.1", 0))
        return s.getsockname()[1]


def tcp_sockets():
    """(local port, remote port, state, inode) of every TCP socket over IPv4."""
    for row in Path("/proc/net/tcp").read_text().splitlines()[1:]:
        r = row.split()
        yield int(r[1].rsplit(":", 1)[1], 16), int(r[2].rsplit(":", 1)[1], 16), r[3], r[9]


def listening(port):
    """Whether something listens on the loopback port."""
    return any(state == "0A" and local == port for local, _, state, _ in tcp_sockets())


def holds(proc):
    """The files a process has open; one may close while they are read."""
    held = set()
    for fd in os.listdir(f"/proc/{proc.pid}/fd"):
        try:
            held.add(os.readlink(f"/proc/{proc.pid}/fd/{fd}"))
        except FileNotFoundError:
            pass
    return held


def connected(proc, device):
    """Whether the process holds an established connection to the gateway SCHEME://127.0.0.1:PORT."""
    port = int(device.rsplit(":", 1)[1])
    held = {link.removeprefix("socket:[").removesuffix("]") for link in holds(proc)}
    return any(state == "01" and remote == port and inode in held for _, remote, state, inode in tcp_sockets())


def xdotool(*args):
    return subprocess.run(["xdotool", *map(str, args)], capture_output=True, text=True).stdout


class Simulator:
    """projector-sim on a pseudo-terminal, behind a link in a directory of its own; or, with
    tcp (True for any free port, or "127.0.0.1:PORT"), on the loopback, its link then its
    tcp:// address."""

    def __init__(self, test, *options, tcp=False):
        work = scratch(test, "tolvek-e2e-")
        self.link, self.log = work / "projector", work / "frames.log"
        where = ("--tcp", "127.0.0.1:0" if tcp is True else tcp) if tcp else ("--link", self.link)
        self.proc = spawn(test, SIM, *where, "--log", self.log, *options, stdout=subprocess.PIPE, text=True)
        self.device = self.proc.stdout.readline().strip()
        if tcp:
            if not self.device:
                raise unittest.SkipTest("this projector-sim has no --tcp")
            self.link = self.device
        self.started = time.monotonic()  # the log's clock starts once the device is printed

    def frames(self):
        """(ms on the log's clock, frame) for every frame received."""
        return [(int(ms), frame) for ms, frame in
                (line.split(" ", 1) for line in self.log.read_text().splitlines())]

    def wait(self, count):
        return poll(lambda: len(self.frames()) >= count and self.frames(), f"{count} frames on the line")

    def bytes_written(self):
        return int(re.search(r"wchar: (\d+)", Path(f"/proc/{self.proc.pid}/io").read_text())[1])


class Panel:
    def __init__(self, test, com1, wait=True):
        self.proc = spawn(test, PANEL, env=dict(
            os.environ, QT_QPA_PLATFORM="xcb", QT_LINUX_ACCESSIBILITY_ALWAYS_ON="1", TOLVEK_COM1=str(com1)))
        self.acc = {}
        if wait:
            self.wait_for_window()

    def windows(self):
        """{id: (x, y, width, height)} of the panel's mapped windows: its own and its boxes."""
        out = xdotool("search", "--all", "--onlyvisible", "--pid", self.proc.pid, "--name", "^TOLVEK ",
                      "getwindowgeometry", "--shell", "%@")
        return {int(w): tuple(map(int, g)) for w, *g in
                re.findall(r"WINDOW=(\d+)\nX=(-?\d+)\nY=(-?\d+)\nWIDTH=(\d+)\nHEIGHT=(\d+)", out)}

    def boxes(self):
        return [w for w, g in self.windows().items() if g[2] != WIDTH]

    def depth(self):
        return self.windows()[self.window][3]

    def wait_for_window(self):
        # With no window manager nobody hands the keyboard to a new window, nor back after a box.
        self.window = poll(lambda: [w for w, g in self.windows().items() if g[2] == WIDTH],
                           "the panel's window mapped", 10)[0]
        xdotool("windowfocus", "--sync", self.window)

    def wait_connected(self, device):
        """Once the connection to the gateway is up, and past the moment a busy one would hang up."""
        poll(lambda: connected(self.proc, device), f"connected to {device}", 5)
        time.sleep(0.5)

    def dismiss_the_box(self):
        box, = poll(self.boxes, "a warning box", 3)  # and only one
        xdotool("windowfocus", "--sync", box, "key", "Return")
        poll(lambda: not self.boxes(), "the box closed")
        self.wait_for_window()

    def tree(self):
        """Every accessible object of the panel, its window first, walked afresh."""
        import pyatspi
        app = poll(lambda: [a for a in pyatspi.Registry.getDesktop(0) if a and a.get_process_id() == self.proc.pid],
                   "the panel on the accessibility bus", 10)[0]
        found = []

        def walk(node):
            for child in filter(None, node):
                found.append(child)
                walk(child)
        walk(app)
        return found

    def accessible(self, name):
        """The button of that accessible name, or the value line of that description."""
        import pyatspi
        node = self.acc.get(name)
        if node is None or name not in (node.name, node.description):  # the view button's name follows its caption
            self.acc = {n.description or n.name: n for n in self.tree()
                        if n.description or n.getRole() in (pyatspi.ROLE_PUSH_BUTTON, pyatspi.ROLE_RADIO_BUTTON)}
        return self.acc[name]

    def text(self, name):
        return self.accessible(name).name

    def wait_text(self, name, text, timeout=1.0):
        poll(lambda: self.text(name) == text, f"{name} showing {text!r}", timeout)

    def showing(self, name):
        return showing(self.accessible(name))

    # No --sync on the moves: it waits some 15 s when the pointer is already there.
    def click(self, name):
        """The moment of the click, taken once the control is found."""
        point = self.point(name)
        clicked = time.monotonic()
        xdotool("mousemove", *point, "click", "--delay", "0", "1")
        return clicked

    def hold(self, name, seconds):
        """The right button pressed on the control for the given time."""
        xdotool("mousemove", *self.point(name), "mousedown", 3, "sleep", seconds, "mouseup", 3)

    def point(self, name):
        x, y, width, height = extents(self.accessible(name))
        return x + width // 2, y + height // 2

    def open_monitor(self):
        """Ctrl+J; also a barrier, as the panel handles input in turn."""
        xdotool("key", "ctrl+j")
        poll(lambda: self.depth() == FULL_DEPTH, "the monitor view open in full", 3)

    def peak_kb(self):
        return int(re.search(r"VmHWM:\s+(\d+)", Path(f"/proc/{self.proc.pid}/status").read_text())[1])

    def end(self):
        """Clicks END; the exit code."""
        self.click("END")
        return self.proc.wait(5)


def main():
    global PANEL, SIM
    if not all(map(shutil.which, ("Xvfb", "dbus-run-session", "xdotool"))):
        sys.exit(77)
    if "TOLVEK_E2E_BUS" not in os.environ:  # again, in a D-Bus session that reaches no desktop
        os.environ["TOLVEK_E2E_BUS"] = "1"
        os.environ.pop("DISPLAY", None)
        # The session's accessibility bus puts its socket in the runtime directory, or else in
        # ~/.cache, where another run's bus at the same time would take its place.
        os.environ["XDG_RUNTIME_DIR"] = tempfile.mkdtemp(prefix="tolvek-e2e-run-")
        os.execvp("dbus-run-session", ["dbus-run-session", "--", sys.executable, *sys.argv])
    try:
        import pyatspi
    except ImportError:
        sys.exit(77)
    PANEL, SIM = (Path(a).resolve() for a in sys.argv[1:3])
    read_end, write_end = os.pipe()  # Xvfb picks a free display and writes its number here
    # -noreset: between two tests no client may be left, and a resetting server turns the next one away.
    xvfb = subprocess.Popen(["Xvfb", "-displayfd", str(write_end), "-screen", "0", "1280x1024x24", "-nolisten", "tcp",
                             "-noreset"], pass_fds=(write_end,), stderr=subprocess.DEVNULL, preexec_fn=die_with_us)
    os.close(write_end)
    os.environ["DISPLAY"] = ":" + os.read(read_end, 16).decode().strip()
    passed = run_tests()
    shutil.rmtree(os.environ["XDG_RUNTIME_DIR"])
    xvfb.kill()
    xvfb.wait()
    sys.exit(not passed)


def run_tests():
    """The tests the arguments after the programs name, or all; whether they passed."""
    program = unittest.main(argv=[sys.argv[0], *sys.argv[3:]], verbosity=2, exit=False)
    return program.result.wasSuccessful()
