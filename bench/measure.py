"""Measures the panel against the baseline under one Xvfb and prints the table.

Both programs get a pseudo-terminal of their own as COM1; this process keeps the master side,
so it sees every byte they put on the line, and feeds them bytes as a projector would. Mouse
input goes in through XTEST from this one process, so a press costs no process start.
"""

import argparse
import datetime
import math
import os
import platform
import select
import socket
import statistics
import subprocess
import sys
import tempfile
import time
import tty

from Xlib import X, XK
from Xlib import display as xdisplay
from Xlib.ext import damage, xtest

FRAME = b"C09\r"
PANEL_TITLE = "TOLVEK   RV 5 & LT 8   CONTROL  Ver.1.31"
BASELINE_TITLE = "bench-baseline"
PANEL_WIDTH = 618
MONITOR_OPEN_HEIGHT = 441
# The centre of "+" under VOL (Command1: 4200, 2880, 375 x 255 twips) in client pixels at
# 96 dpi; the baseline puts its button on the same spot.
PLUS = (280 + 25 // 2, 192 + 17 // 2)
HOLD_INTERVAL_NS = 250_000_000
LINE_RATE = 1920  # bytes a second at 19200 baud, 8N1
RECEIVE_CAPACITY = 32767  # the panel's receive buffer: past this the oldest bytes give way
CLK_TCK = os.sysconf("SC_CLK_TCK")
MS = 1e6


class BenchError(Exception):
    pass


def start_xvfb():
    """An Xvfb on the first free display; returns the process and the display name."""
    r, w = os.pipe()
    proc = subprocess.Popen(
        ["Xvfb", "-displayfd", str(w), "-screen", "0", "1280x1024x24", "-nolisten", "tcp"],
        pass_fds=(w,), stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    os.close(w)
    number = b""
    while not number.endswith(b"\n"):
        chunk = os.read(r, 16)
        if not chunk:
            raise BenchError("Xvfb did not start")
        number += chunk
    os.close(r)
    return proc, ":" + number.decode().strip()


def connect(name):
    dpy = xdisplay.Display(name)
    for extension in ("XTEST", "DAMAGE"):
        if not dpy.has_extension(extension):
            raise BenchError(f"the X server has no {extension}")
    dpy.damage_query_version()
    # A damage watch on a window that is input-only or already gone is refused; harmless.
    dpy.set_error_handler(lambda error, request: None)
    return dpy


class Line:
    """A pseudo-terminal: the program opens the slave as COM1, we hold the master."""

    def __init__(self):
        self.master, self.slave = os.openpty()
        # Kept open so the master never sees a hang-up while the program reopens the port.
        tty.setraw(self.slave)
        os.set_blocking(self.master, False)
        self.path = os.ttyname(self.slave)

    def close(self):
        os.close(self.master)
        os.close(self.slave)

    def read_until(self, deadline_ns, stop=None):
        """(arrival ns, bytes) chunks until the deadline, or until stop(all bytes so far)."""
        chunks = []
        data = b""
        poller = select.poll()
        poller.register(self.master, select.POLLIN)
        while True:
            left = deadline_ns - time.monotonic_ns()
            if left <= 0:
                return chunks
            if not poller.poll(max(1, math.ceil(left / MS))):
                continue
            now = time.monotonic_ns()
            try:
                chunk = os.read(self.master, 4096)
            except BlockingIOError:
                continue
            chunks.append((now, chunk))
            data += chunk
            if stop and stop(data):
                return chunks

    def drain(self):
        return b"".join(c for _, c in self.read_until(time.monotonic_ns() + 20 * 1_000_000))

    def write_byte(self, value, deadline_ns):
        """Writes one byte; returns False if the program left the line full past the deadline."""
        while True:
            try:
                return os.write(self.master, value) == 1
            except BlockingIOError:
                left = deadline_ns - time.monotonic_ns()
                if left <= 0:
                    return False
                select.select([], [self.master], [], left / 1e9)


def cpu_ticks(pid):
    with open(f"/proc/{pid}/stat") as f:
        fields = f.read().rsplit(")", 1)[1].split()
    return int(fields[11]) + int(fields[12])  # utime + stime


def vm_hwm_kib(pid):
    with open(f"/proc/{pid}/status") as f:
        for row in f:
            if row.startswith("VmHWM:"):
                return int(row.split()[1])
    raise BenchError("no VmHWM")


class App:
    """One run of the panel or the baseline, with its line, its window and its start-up times."""

    def __init__(self, dpy, name, argv, title, logdir, com1=None):
        self.dpy = dpy
        self.name = name
        self.title = title
        self.line = Line()
        env = dict(os.environ)
        env.update(DISPLAY=dpy.get_display_name(), QT_QPA_PLATFORM="xcb",
                   TOLVEK_COM1=com1 or self.line.path, TOLVEK_COM2="/nonexistent/tolvek-com2")
        self.log = open(os.path.join(logdir, f"{name}.log"), "ab")

        root = dpy.screen().root
        root.change_attributes(event_mask=X.SubstructureNotifyMask)
        dpy.sync()
        while dpy.pending_events():
            dpy.next_event()

        started = time.monotonic_ns()
        self.proc = subprocess.Popen(argv, env=env, stdout=self.log, stderr=self.log)
        try:
            self.window, mapped, painted = self._wait_painted(started + 15_000 * 1_000_000)
            self.start_ns = mapped - started
            self.paint_ns = painted - started
            geometry = self.window.get_geometry()
            # No window manager: the window is a child of the root and its position is its own.
            self.x, self.y = geometry.x, geometry.y
            if geometry.width != PANEL_WIDTH:
                raise BenchError(f"{name}: a window {geometry.width} px wide came up, not the "
                                 f"{PANEL_WIDTH} px window (a warning box? see {self.log.name})")
            time.sleep(max(0, (mapped + 1_000_000_000 - time.monotonic_ns()) / 1e9))
            self.hwm_kib = vm_hwm_kib(self.proc.pid)
            self.line.drain()
        except BaseException:
            self.stop()
            raise
        finally:
            root.change_attributes(event_mask=X.NoEventMask)
            dpy.sync()

    def _wait_painted(self, deadline_ns):
        """Times of the MapNotify of the program's window and of the first drawing into it.

        Every new top-level gets a damage watch as it is created, before the program can draw
        into it; the first DamageNotify on the mapped window is its first paint.
        """
        fd = self.dpy.fileno()
        watches = []
        window = mapped = None
        try:
            while True:
                if not self.dpy.pending_events():
                    left = deadline_ns - time.monotonic_ns()
                    if left <= 0 or self.proc.poll() is not None:
                        raise BenchError(f"{self.name}: no window painted (see {self.log.name})")
                    select.select([fd], [], [], min(left / 1e9, 0.1))
                    if not self.dpy.pending_events():
                        continue
                now = time.monotonic_ns()
                event = self.dpy.next_event()
                if event.type == X.CreateNotify:
                    watches.append(event.window.damage_create(damage.DamageReportNonEmpty))
                    self.dpy.flush()
                elif (event.type == X.MapNotify and window is None
                      and self._title_of(event.window) == self.title):
                    window, mapped = event.window, now
                elif (event.type == self.dpy.extension_event.DamageNotify and window is not None
                      and event.drawable.id == window.id):
                    return window, mapped, now
        finally:
            for watch in watches:
                self.dpy.damage_destroy(watch)
            self.dpy.sync()

    def _title_of(self, window):
        utf8 = self.dpy.intern_atom("UTF8_STRING")
        prop = window.get_full_property(self.dpy.intern_atom("_NET_WM_NAME"), utf8)
        if prop:
            return bytes(prop.value).decode("utf-8", "replace")
        name = window.get_wm_name()
        return name.decode("latin-1") if isinstance(name, bytes) else (name or "")

    def bring_forward(self):
        """Raises the window over the other program's and puts the pointer on its "+"."""
        self.window.configure(stack_mode=X.Above)
        xtest.fake_input(self.dpy, X.MotionNotify, x=self.x + PLUS[0], y=self.y + PLUS[1])
        self.dpy.sync()
        time.sleep(0.1)
        self.line.drain()

    def open_monitor(self):
        """Ctrl+J, as a user would type it; returns once the window has grown."""
        self.bring_forward()
        self.window.set_input_focus(X.RevertToParent, X.CurrentTime)
        self.dpy.sync()
        ctrl = self.dpy.keysym_to_keycode(XK.XK_Control_L)
        j = self.dpy.keysym_to_keycode(XK.XK_j)
        for event, code in ((X.KeyPress, ctrl), (X.KeyPress, j), (X.KeyRelease, j),
                            (X.KeyRelease, ctrl)):
            xtest.fake_input(self.dpy, event, code)
            self.dpy.sync()
            time.sleep(0.02)
        deadline = time.monotonic() + 2
        while self.window.get_geometry().height < MONITOR_OPEN_HEIGHT:
            if time.monotonic() > deadline:
                raise BenchError(f"{self.name}: Ctrl+J did not open the monitor area")
            time.sleep(0.02)
        time.sleep(0.2)

    def press(self):
        xtest.fake_input(self.dpy, X.ButtonPress, 1)
        self.dpy.flush()

    def release(self):
        xtest.fake_input(self.dpy, X.ButtonRelease, 1)
        self.dpy.flush()

    def stop(self):
        if self.proc.poll() is None:
            self.proc.terminate()
            try:
                self.proc.wait(5)
            except subprocess.TimeoutExpired:
                self.proc.kill()
                self.proc.wait()
        self.line.close()
        self.log.close()


def silent_gateway():
    """A loopback port that never answers a connection: the one place in its queue is taken and
    never accepted, so the kernel drops every further attempt. The sockets, and its address."""
    listener = socket.create_server(("127.0.0.1", 0), backlog=0)
    filler = socket.create_connection(listener.getsockname())
    return (listener, filler), "tcp://127.0.0.1:%d" % listener.getsockname()[1]


def press_latencies(app, presses, gap_s):
    """ns from each XTEST press to the whole frame on the master; also counts stray bytes."""
    app.bring_forward()
    latencies, missing, stray = [], 0, 0
    for _ in range(presses):
        pressed = time.monotonic_ns()
        app.press()
        chunks = app.line.read_until(pressed + 1_000_000_000, lambda d: len(d) >= len(FRAME))
        app.release()
        data = b"".join(c for _, c in chunks)
        if data[:len(FRAME)] == FRAME:
            latencies.append(chunks[-1][0] - pressed)
        else:
            missing += 1
        time.sleep(gap_s)
        stray += len(data) - min(len(data), len(FRAME)) + len(app.line.drain())
    return latencies, missing, stray


def interleaved_latencies(apps, presses, block, gap_s):
    """press_latencies for every app, in alternating blocks, so a busy spell hits them alike."""
    results = {app.name: ([], 0, 0) for app in apps}
    for n in range(0, presses, block):
        order = apps if (n // block) % 2 == 0 else apps[::-1]
        for app in order:
            latencies, missing, stray = press_latencies(app, min(block, presses - n), gap_s)
            was = results[app.name]
            results[app.name] = (was[0] + latencies, was[1] + missing, was[2] + stray)
    return results


def hold_cadence(app, hold_s):
    """Arrival times of the frames sent during one hold of "+"."""
    app.bring_forward()
    pressed = time.monotonic_ns()
    app.press()
    chunks = app.line.read_until(pressed + int(hold_s * 1e9))
    app.release()
    chunks += app.line.read_until(time.monotonic_ns() + 400_000_000)
    arrivals, pending, garbage = [], b"", 0
    for at, chunk in chunks:
        pending += chunk
        while len(pending) >= len(FRAME):
            if pending.startswith(FRAME):
                arrivals.append(at)
                pending = pending[len(FRAME):]
            else:
                garbage += 1
                pending = pending[1:]
    return arrivals, garbage + len(pending)


def receive_load(apps, seconds):
    """Feeds every app the same unsolicited stream at line pace, byte by byte, all at once;
    returns each one's CPU seconds per second of it."""
    pattern = bytes(range(0x20, 0x7B))
    period_ns = 1e9 / LINE_RATE
    ticks = {app.name: [cpu_ticks(app.proc.pid)] for app in apps}
    written = {app.name: 0 for app in apps}
    stalled = {app.name: 0 for app in apps}
    begun = time.monotonic_ns()
    end = begun + int(seconds * 1e9)
    next_sample = begun + 1_000_000_000
    worst_late = 0
    i = 0
    while True:
        # Paced against the schedule, not from one write to the next: no drift.
        due = begun + int(i * period_ns)
        if due >= end:
            break
        now = time.monotonic_ns()
        if now < due:
            time.sleep((due - now) / 1e9)
            now = time.monotonic_ns()
        worst_late = max(worst_late, now - due)
        byte = pattern[i % len(pattern):][:1]
        for app in apps:
            if app.line.write_byte(byte, end + 1_000_000_000):
                written[app.name] += 1
            else:
                stalled[app.name] += 1
        i += 1
        if now >= next_sample:
            for app in apps:
                ticks[app.name].append(cpu_ticks(app.proc.pid))
            next_sample += 1_000_000_000
    elapsed = (time.monotonic_ns() - begun) / 1e9
    results = {}
    for app in apps:
        t = ticks[app.name] + [cpu_ticks(app.proc.pid)]
        results[app.name] = {
            "cpu": (t[-1] - t[0]) / CLK_TCK / elapsed,
            "per_second": [(b - a) / CLK_TCK for a, b in zip(t, t[1:])],
            "written": written[app.name], "stalled": stalled[app.name],
            "rate": written[app.name] / elapsed, "worst_late_ms": worst_late / MS,
        }
    # Still taking presses once the stream is over?
    for app in apps:
        app.line.drain()
        after, missing, _ = press_latencies(app, 3, 0.1)
        results[app.name].update(after_ms=statistics.median(after) / MS if after else None,
                                 after_missing=missing)
    return results


def percentile(values, p):
    ordered = sorted(values)
    return ordered[max(0, math.ceil(p / 100 * len(ordered)) - 1)]


def machine():
    model = "unknown"
    with open("/proc/cpuinfo") as f:
        for row in f:
            if row.startswith("model name"):
                model = row.split(":", 1)[1].strip()
                break
    try:
        qt = subprocess.run(["dpkg-query", "-W", "-f=${Version}", "libqt6core6"],
                            capture_output=True, text=True, check=True).stdout
    except (OSError, subprocess.CalledProcessError):
        qt = "unknown"
    return (f"{datetime.date.today().isoformat()}, {os.cpu_count()} CPUs ({model}), "
            f"Qt {qt}, Linux {platform.release()}, load average {load_average()}")


def load_average():
    # Anything else running (a build, say) shows up in every figure; say so next to them.
    with open("/proc/loadavg") as f:
        return " ".join(f.read().split()[:3])


class Table:
    def __init__(self):
        self.rows = []

    def add(self, figure, panel, baseline="—", ratio="—", goal="—"):
        self.rows.append((figure, panel, baseline, ratio, goal))

    def print(self):
        head = ("figure", "panel", "baseline", "ratio", "goal")
        widths = [max(len(str(r[i])) for r in self.rows + [head]) for i in range(5)]
        line = lambda r: "| " + " | ".join(str(c).ljust(w) for c, w in zip(r, widths)) + " |"
        print(line(head))
        print("|" + "|".join("-" * (w + 2) for w in widths) + "|")
        for r in self.rows:
            print(line(r))


def verdict(value, limit):
    return f"≤ {limit} ({'met' if value <= limit else 'MISSED'})"


def start_up_rows(table, args, starts, paints, hwm, others, silent_starts):
    for label, data, unit, limit in (("start-up, exec to window mapped", starts, "ms", 1.2),
                                     ("  exec to first paint", paints, "ms", None),
                                     ("peak memory, VmHWM 1 s after mapping", hwm, "MiB", 1.15)):
        b = statistics.median(data["baseline"])
        for who in ("panel", *others):
            p = statistics.median(data[who])
            table.add(f"{label} ({unit}, median of {args.starts})" + (f", {who}" if who != "panel" else ""),
                      f"{p:.1f}", f"{b:.1f}", f"{p / b:.2f}", verdict(round(p / b, 2), limit) if limit else "—")
    silent = statistics.median(silent_starts)
    table.add(f"start-up, COM1 on a gateway that never answers (ms, median of {args.starts})",
              f"{silent:.1f}", goal=verdict(round(silent), 1000))


def start_up_table(args, starts, paints, hwm, others, silent_starts):
    table = Table()
    start_up_rows(table, args, starts, paints, hwm, others, silent_starts)
    table.print()
    for who in ("panel", "baseline", *others):
        print(f"start-ups to mapped (ms), {who}: {', '.join(f'{v:.0f}' for v in starts[who])}")
    print(f"load average at the end: {load_average()}")


def main():
    parser = argparse.ArgumentParser(description=__doc__)
    parser.add_argument("--build", required=True)
    parser.add_argument("--presses", type=int, default=200)
    parser.add_argument("--hold", type=float, default=10.1)
    parser.add_argument("--stream", type=float, default=30.0)
    parser.add_argument("--open-stream", type=float, default=10.0)
    parser.add_argument("--starts", type=int, default=5)
    parser.add_argument("--also", action="append", default=[], metavar="NAME=PROGRAM",
                        help="another build of the panel, started in turn with the two")
    parser.add_argument("--start-up-only", action="store_true")
    args = parser.parse_args()

    programs = {
        "panel": ([os.path.join(args.build, "tolvek-panel")], PANEL_TITLE),
        "baseline": ([os.path.join(args.build, "bench-baseline")], BASELINE_TITLE),
    }
    for also in args.also:
        name, _, program = also.partition("=")
        programs[name] = ([program], PANEL_TITLE)
    others = [who for who in programs if who not in ("panel", "baseline")]
    xvfb, name = start_xvfb()
    logdir = tempfile.mkdtemp(prefix="tolvek-bench-")
    apps = []
    try:
        dpy = connect(name)

        def launch(who, com1=None):
            argv, title = programs[who]
            app = App(dpy, who, argv, title, logdir, com1)
            apps.append(app)
            return app

        def finish(app):
            app.stop()
            apps.remove(app)

        print(f"# {machine()}", flush=True)
        starts = {who: [] for who in programs}
        paints = {who: [] for who in programs}
        hwm = {who: [] for who in programs}
        for _ in range(args.starts):
            for who in ("baseline", "panel", *others):
                app = launch(who)
                starts[who].append(app.start_ns / MS)
                paints[who].append(app.paint_ns / MS)
                hwm[who].append(app.hwm_kib / 1024)
                finish(app)
        # The window must not wait for the connection: a gateway that never answers holds it 5 s.
        held, gateway = silent_gateway()
        silent_starts = []
        for _ in range(args.starts):
            app = launch("panel", gateway)
            silent_starts.append(app.start_ns / MS)
            finish(app)
        for sock in held:
            sock.close()
        print("start-up done", file=sys.stderr, flush=True)
        if args.start_up_only:
            return start_up_table(args, starts, paints, hwm, others, silent_starts)

        # From here on both run side by side: the same presses in alternating blocks, the
        # same stream at the same time.
        pair = [launch("baseline"), launch("panel")]
        panel_app = pair[1]
        latency = interleaved_latencies(pair, args.presses, 25, 0.1)
        print("presses done", file=sys.stderr, flush=True)
        arrivals, hold_stray = hold_cadence(panel_app, args.hold)
        print("hold done", file=sys.stderr, flush=True)
        load = receive_load(pair, args.stream)
        print("stream done", file=sys.stderr, flush=True)
        if args.open_stream > 0:
            panel_app.open_monitor()
            open_load = receive_load(pair, args.open_stream)
            print("stream with the monitor open done", file=sys.stderr, flush=True)
    finally:
        for app in apps:
            app.stop()
        xvfb.terminate()
        xvfb.wait()

    for who in ("panel", "baseline"):
        if not latency[who][0]:
            raise BenchError(f"{who}: no press of \"+\" reached the line")
    if not arrivals:
        raise BenchError("panel: nothing reached the line during the hold")

    table = Table()
    # The baseline writes before it paints: the floor, which the panel's median must keep to.
    for label, rank, goal in (("median", 50, 1.05), ("99th percentile", 99, 1.1)):
        p = percentile(latency["panel"][0], rank) / MS
        b = percentile(latency["baseline"][0], rank) / MS
        table.add(f"press-to-line latency, {label} of {args.presses} (ms)", f"{p:.3f}",
                  f"{b:.3f}", f"{p / b:.2f}", verdict(round(p / b, 2), goal))
    for who in ("panel", "baseline"):
        _, missing, stray = latency[who]
        if missing or stray:
            table.add(f"  presses without a frame / stray bytes ({who})", f"{missing} / {stray}")

    grid = [(at - arrivals[0]) - k * HOLD_INTERVAL_NS for k, at in enumerate(arrivals)]
    deviations = [abs(d) / MS for d in grid[1:]] or [0.0]
    expected = int(args.hold * 1e9) // HOLD_INTERVAL_NS + 1
    table.add(f"hold of {args.hold} s: frames on the line", f"{len(arrivals)}"
              + (f" (+{hold_stray} stray bytes)" if hold_stray else ""),
              goal=f"= {expected} ({'met' if len(arrivals) == expected else 'MISSED'})")
    mean_dev = statistics.fmean(deviations)
    table.add("hold: mean deviation from the 250 ms grid (ms)", f"{mean_dev:.3f}",
              goal=verdict(round(mean_dev, 3), 1))
    table.add("hold: worst deviation from the 250 ms grid (ms)", f"{max(deviations):.3f}",
              goal=verdict(round(max(deviations), 3), 5))

    panel, base = load["panel"], load["baseline"]
    table.add(f"receive load, {args.stream:g} s at {LINE_RATE} B/s (% of one core)",
              f"{panel['cpu'] * 100:.2f}", f"{base['cpu'] * 100:.2f}",
              f"{panel['cpu'] / base['cpu']:.2f}" if base["cpu"] else "—",
              f"≤ 2 % ({'met' if panel['cpu'] <= 0.02 else 'MISSED'})")
    table.add("  bytes written / rate achieved (B/s)",
              f"{panel['written']} / {panel['rate']:.0f}", f"{base['written']} / {base['rate']:.0f}")
    table.add("  bytes lost or reordered", "not observable from outside", "—")
    if args.open_stream > 0:
        p, b = open_load["panel"]["cpu"], open_load["baseline"]["cpu"]
        table.add(f"  the same, {args.open_stream:g} s with the monitor area open (Ctrl+J)",
                  f"{p * 100:.2f}", f"{b * 100:.2f}", f"{p / b:.2f}" if b else "—")
    for who in ("panel", "baseline"):
        if load[who]["stalled"]:
            table.add(f"  bytes the line would not take ({who})", load[who]["stalled"])
    after = lambda r: (f"yes, {r['after_ms']:.3f} ms" if not r["after_missing"]
                       else f"NO ({r['after_missing']} of 3 lost)")
    table.add("  after the stream, \"+\" still reaches the line", after(panel), after(base))

    start_up_rows(table, args, starts, paints, hwm, others, silent_starts)
    table.print()

    split = min(len(panel["per_second"]), math.ceil(RECEIVE_CAPACITY / LINE_RATE))
    grow = panel["per_second"][:split]
    full = panel["per_second"][split + 1:]
    print()
    print(f"receive load of the panel, % of one core: {statistics.fmean(grow) * 100:.2f} while its "
          f"buffer fills (first {split} s)" + (f", {statistics.fmean(full) * 100:.2f} once it is full"
                                              if full else ""))
    print(f"stream pacing: worst lateness {panel['worst_late_ms']:.2f} ms")
    for label, data in (("start-ups to mapped", starts), ("start-ups to painted", paints)):
        print(f"{label} (ms): panel {', '.join(f'{v:.0f}' for v in data['panel'])}; "
              f"baseline {', '.join(f'{v:.0f}' for v in data['baseline'])}")
    print(f"start-ups to mapped, COM1 on a gateway that never answers (ms): "
          f"{', '.join(f'{v:.0f}' for v in silent_starts)}")
    print(f"load average at the end: {load_average()}")
    print(f"program output: {logdir}")


if __name__ == "__main__":
    try:
        main()
    except BenchError as e:
        sys.exit(f"bench: {e}")
