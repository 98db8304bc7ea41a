"""Drives the built panel from outside, as a user would: a private X server, real pointer and
key input with xdotool at the controls' places, the window read back over AT-SPI and X, and
the projector simulator's frame log as the witness of what went on the line.

Run a test file as  /usr/bin/python3 test_x.py --panel PATH --sim PATH [unittest options].
It re-runs itself inside its own D-Bus session, so AT-SPI never reaches a desktop's bus.
"""

import argparse
import ctypes
import os
import re
import select
import shutil
import signal
import subprocess
import sys
import tempfile
import time
import unittest
from pathlib import Path

HERE = Path(__file__).resolve().parent
LAYOUT = HERE.parent.parent / "src" / "panel" / "Layout.h"

TITLE = "TOLVEK   RV 5 & LT 8   CONTROL  Ver.1.31"
DPI = 96
# Client depths of the monitor view at 96 dpi.
CLOSED_DEPTH = 321
INTERMEDIATE_DEPTH = 417
FULL_DEPTH = 441
CLIENT_WIDTH = 618

PANEL = None
SIM = None
_display = None  # Xlib connection, once the X server runs


def px(twips):
    return (twips * DPI + 720) // 1440


def _controls():
    row = re.compile(r'\{"(\w+)", Kind::(\w+), "[^"]*", "(\w*)", (-?\d+), (-?\d+), (-?\d+), (-?\d+),')
    table = {}
    for m in row.finditer(LAYOUT.read_text(encoding="utf-8")):
        name, kind, container, left, top, width, height = m.groups()
        table[name] = (kind, container, int(left), int(top), int(width), int(height))
    return table


CONTROLS = _controls()


def centre(name):
    """A control's centre in client pixels; children are placed within their frames."""
    kind, container, left, top, width, height = CONTROLS[name]
    x, y = px(left) + px(width) // 2, px(top) + px(height) // 2
    while container:
        _, container, left, top, _, _ = CONTROLS[container]
        x, y = x + px(left), y + px(top)
    return x, y


def poll(predicate, timeout, what, interval=0.005):
    """The predicate's first true value, or a failure naming what did not happen."""
    deadline = time.monotonic() + timeout
    while True:
        value = predicate()
        if value:
            return value
        if time.monotonic() > deadline:
            raise AssertionError(f"not within {timeout} s: {what}")
        time.sleep(interval)


def _die_with_parent():
    # Nothing outlives a test process that is killed by ctest's timeout.
    ctypes.CDLL(None).prctl(1, signal.SIGKILL)  # PR_SET_PDEATHSIG


def spawn(args, **kwargs):
    return subprocess.Popen([str(a) for a in args], preexec_fn=_die_with_parent, **kwargs)


def stop(proc):
    if proc.poll() is None:
        proc.terminate()
        try:
            proc.wait(3)
        except subprocess.TimeoutExpired:
            proc.kill()
            proc.wait()


def xdotool(*args):
    subprocess.run(["xdotool", *map(str, args)], check=True)


class Simulator:
    """projector-sim on a pseudo-terminal, reachable through a link in workdir."""

    def __init__(self, workdir, *options, name="projector"):
        self.link = workdir / name
        self.log = workdir / f"{name}.log"
        self.proc = spawn([SIM, "--link", self.link, "--log", self.log, *options],
                          stdout=subprocess.PIPE, text=True)
        self.device = self.proc.stdout.readline().strip()
        # The simulator's clock starts right after it prints the device.
        self.started = time.monotonic()
        if not self.device:
            raise AssertionError(f"projector-sim did not start: exit {self.proc.wait()}")

    def frames(self):
        """(ms since the simulator started, frame as logged) for every frame received."""
        try:
            lines = self.log.read_text(encoding="ascii").splitlines()
        except FileNotFoundError:
            return []
        return [(int(ms), frame) for ms, frame in (line.split(" ", 1) for line in lines)]

    def texts(self):
        return [frame for _, frame in self.frames()]

    def wait_frames(self, count, timeout=2.0):
        return poll(lambda: len(self.frames()) >= count and self.frames(), timeout,
                    f"{count} frames on the line (have {self.texts()})")

    def bytes_written(self):
        for line in Path(f"/proc/{self.proc.pid}/io").read_text().splitlines():
            if line.startswith("wchar:"):
                return int(line.split()[1])
        return 0

    def close(self):
        stop(self.proc)
        self.proc.stdout.close()


class Panel:
    """The panel process, its window on the X server and its controls over AT-SPI."""

    def __init__(self, workdir, com1, wait_for_window=True, name="panel"):
        env = dict(os.environ, QT_QPA_PLATFORM="xcb", QT_LINUX_ACCESSIBILITY_ALWAYS_ON="1",
                   TOLVEK_COM1=str(com1), TOLVEK_COM2=str(workdir / "no-com2"))
        self.stderr = open(workdir / f"{name}.stderr", "w")
        self.proc = spawn([PANEL], env=env, stdout=self.stderr, stderr=self.stderr)
        self.window = None
        self._app = None
        self._acc = {}
        if wait_for_window:
            self.wait_for_window()

    # --- windows on the X server -------------------------------------------------------
    def windows(self):
        """(id, x, y, width, height) of the process's mapped windows titled as the panel."""
        from Xlib import X
        found = []
        root = _display.screen().root
        pid_atom = _display.intern_atom("_NET_WM_PID")
        name_atom = _display.intern_atom("_NET_WM_NAME")
        for w in root.query_tree().children:
            try:
                if w.get_attributes().map_state != X.IsViewable:
                    continue
                pid = w.get_full_property(pid_atom, X.AnyPropertyType)
                if not pid or pid.value[0] != self.proc.pid:
                    continue
                if w.get_full_text_property(name_atom) != TITLE:
                    continue
                g = w.get_geometry()
            except Exception:  # gone while we looked
                continue
            found.append((w.id, g.x, g.y, g.width, g.height))
        return found

    def wait_for_window(self, timeout=10.0):
        self.window = poll(lambda: [w for w in self.windows() if w[3] == CLIENT_WIDTH], timeout,
                           "the panel's window mapped")[0][0]
        self.focus()
        return self.window

    def focus(self):
        # With no window manager nobody hands the keyboard to a new window, nor back to the
        # window after a box: do what a window manager would.
        xdotool("windowfocus", "--sync", self.window)

    def geometry(self):
        for w in self.windows():
            if w[0] == self.window:
                return w[1:]
        raise AssertionError("the panel's window is gone")

    def client_height(self):
        return self.geometry()[3]

    def boxes(self):
        """The warning boxes on the screen: every other window with the panel's title."""
        return [w for w in self.windows() if w[0] != self.window and w[3] != CLIENT_WIDTH]

    def box_texts(self):
        """What the boxes on the screen say, read over AT-SPI."""
        import pyatspi
        texts = []
        for top in self.app():
            if top is not None and top.getRole() == pyatspi.ROLE_ALERT \
                    and top.getState().contains(pyatspi.STATE_SHOWING):
                texts.append((top.name, [c.name for c in top if c is not None and c.getRole() == pyatspi.ROLE_LABEL]))
        return texts

    def dismiss_box(self):
        boxes = self.boxes()
        count = len(boxes)
        # Return presses the box's one button once the box has the keyboard.
        xdotool("windowfocus", "--sync", boxes[-1][0])
        xdotool("key", "Return")
        poll(lambda: len(self.boxes()) < count, 3.0, "the warning box closed")
        if self.window and not self.boxes():
            self.focus()

    # --- AT-SPI --------------------------------------------------------------------------
    def app(self):
        if self._app is None:
            import pyatspi

            def find():
                desktop = pyatspi.Registry.getDesktop(0)
                for i in range(desktop.childCount):
                    app = desktop.getChildAtIndex(i)
                    if app is not None and app.get_process_id() == self.proc.pid:
                        return app
                return None
            self._app = poll(find, 10.0, "the panel on the accessibility bus")
        return self._app

    def accessible(self, name):
        """The control whose accessible description is its name, e.g. "Label25"."""
        if name not in self._acc:
            def walk(node):
                for child in node:
                    if child is None:
                        continue
                    if child.description:
                        self._acc[child.description] = child
                    walk(child)
            walk(self.app())
        return self._acc[name]

    def text(self, name):
        return self.accessible(name).name

    def showing(self, name):
        import pyatspi
        return self.accessible(name).getState().contains(pyatspi.STATE_SHOWING)

    def wait_text(self, name, predicate, timeout, what):
        return poll(lambda: (lambda t: predicate(t) and (t,))(self.text(name)), timeout, what)[0]

    # --- input ---------------------------------------------------------------------------
    def point(self, name):
        x, y, _, _ = self.geometry()
        cx, cy = centre(name)
        return x + cx, y + cy

    # No --sync on the moves: it waits some 15 s when the pointer is already there, and the
    # server handles the move before the button anyway.
    def click(self, name):
        x, y = self.point(name)
        xdotool("mousemove", x, y, "click", "--delay", "0", "1")

    def hold(self, name, seconds, button=3):
        """Presses a mouse button on the control and lets it go after the given time."""
        x, y = self.point(name)
        xdotool("mousemove", x, y, "mousedown", button, "sleep", seconds, "mouseup", button)

    def key(self, chord):
        xdotool("key", chord)

    def open_monitor(self):
        self.key("ctrl+j")
        poll(lambda: self.client_height() == FULL_DEPTH, 3.0, "the monitor view open in full")

    # --- the process ---------------------------------------------------------------------
    def status(self, field):
        for line in Path(f"/proc/{self.proc.pid}/status").read_text().splitlines():
            if line.startswith(field + ":"):
                return int(line.split()[1])
        raise KeyError(field)

    def alive(self):
        return self.proc.poll() is None

    def end(self, timeout=5.0):
        """Clicks END; the exit code."""
        self.click("Command16")
        return self.proc.wait(timeout)

    def close(self):
        stop(self.proc)
        self.stderr.close()


def panel_off_screen(workdir, com1):
    """Another panel, with no window anywhere: a program that has the port."""
    return spawn([PANEL], env=dict(os.environ, QT_QPA_PLATFORM="offscreen", TOLVEK_COM1=str(com1),
                                   TOLVEK_COM2=str(workdir / "no-com2")),
                 stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)


class PanelTestCase(unittest.TestCase):
    """Each test gets a fresh working directory; what it starts is stopped after it."""

    def setUp(self):
        self.work = Path(tempfile.mkdtemp(prefix="tolvek-e2e-"))
        self.addCleanup(shutil.rmtree, self.work, True)

    def start_sim(self, *options, name="projector"):
        sim = Simulator(self.work, *options, name=name)
        self.addCleanup(sim.close)
        return sim

    def start_panel(self, com1, **kwargs):
        panel = Panel(self.work, com1, **kwargs)
        self.addCleanup(panel.close)
        return panel


def _start_x_server():
    """A private Xvfb on a display it picks itself; DISPLAY is set to it."""
    read_end, write_end = os.pipe()
    xvfb = spawn(["Xvfb", "-displayfd", write_end, "-screen", "0", "1280x1024x24", "-nolisten", "tcp"],
                 pass_fds=(write_end,), stderr=subprocess.DEVNULL)
    os.close(write_end)
    number = b""
    while not number.endswith(b"\n"):
        if not select.select([read_end], [], [], 10)[0]:
            raise RuntimeError("Xvfb did not start")
        chunk = os.read(read_end, 16)
        if not chunk:
            raise RuntimeError("Xvfb did not start")
        number += chunk
    os.close(read_end)
    os.environ["DISPLAY"] = ":" + number.decode().strip()
    return xvfb


def main():
    global PANEL, SIM, _display
    parser = argparse.ArgumentParser(add_help=False)
    parser.add_argument("--panel", required=True)
    parser.add_argument("--sim", required=True)
    args, rest = parser.parse_known_args()
    PANEL, SIM = Path(args.panel).resolve(), Path(args.sim).resolve()

    missing = [tool for tool in ("Xvfb", "xdotool", "dbus-run-session") if not shutil.which(tool)]
    if not missing and not os.environ.get("TOLVEK_E2E_BUS"):
        os.environ["TOLVEK_E2E_BUS"] = "1"
        # Nothing of the private session may reach a desktop the tests were started from.
        for name in ("DISPLAY", "WAYLAND_DISPLAY"):
            os.environ.pop(name, None)
        os.execvp("dbus-run-session", ["dbus-run-session", "--", sys.executable, *sys.argv])
    for module in ("pyatspi", "Xlib"):
        try:
            __import__(module)  # pyatspi's first import, here where its import warnings stay quiet
        except ImportError:
            missing.append(f"python3 module {module}")
    if missing:
        print(f"skipped, missing: {', '.join(missing)}")
        sys.exit(77)

    runtime = tempfile.mkdtemp(prefix="tolvek-e2e-run-")
    os.chmod(runtime, 0o700)
    os.environ["XDG_RUNTIME_DIR"] = runtime
    xvfb = _start_x_server()
    try:
        from Xlib import display
        _display = display.Display()
        program = unittest.main(argv=[sys.argv[0], *rest], exit=False, verbosity=2)
        _display.close()
    finally:
        stop(xvfb)
        shutil.rmtree(runtime, True)
    sys.exit(not program.result.wasSuccessful())
