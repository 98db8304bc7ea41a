"""Measures tolvek-mqtt: how soon a command from the broker is on the line, and what the bridge
costs while it waits. Prints figures and never fails; ctest does not run it.

  latency  a command published to tolvek/bench/set, from the moment the broker delivers it (to
           a second subscriber of the same topic) to its last byte on a pseudo-terminal this
           process keeps the master side of, answering as a projector would; the bridge idle
           before each one
  idle     the bridge against projector-sim with polls far apart: CPU time and wake-ups
  memory   the bridge against projector-sim with --poll 1: resident memory over time

Run with Debian's python3 (python3-paho-mqtt) after building tolvek-mqtt and projector-sim:
  /usr/bin/python3 bench/mqtt.py --build build latency|idle|memory [--samples N] [--seconds N]
"""

import argparse
import os
import select
import shutil
import socket
import statistics
import subprocess
import sys
import tempfile
import threading
import time
import tty
from pathlib import Path

import paho.mqtt.client as mqtt

CLK_TCK = os.sysconf("SC_CLK_TCK")
# What the bench answers for each query; any command gets an ACK.
REPLIES = {b"CR0\r": b"80\r", b"CR1\r": b"1\r", b"CR3\r": b"1234\r", b"CR4\r": b"11\r",
           b"CR6\r": b"+25.0 +30.5 +27.0\r"}
COMMANDS = {"menu-on": b"C1C\r", "menu-off": b"C1D\r", "freeze-on": b"C43\r", "freeze-off": b"C44\r"}


def start_broker(work):
    with socket.socket() as s:
        s.bind(("127.0.0.1", 0))
        port = s.getsockname()[1]
    conf = work / "mosquitto.conf"
    conf.write_text(f"listener {port} 127.0.0.1\nallow_anonymous true\npersistence false\n")
    broker = subprocess.Popen(["/usr/sbin/mosquitto", "-c", str(conf)], stderr=subprocess.DEVNULL)
    for _ in range(100):
        with socket.socket() as s:
            if s.connect_ex(("127.0.0.1", port)) == 0:
                return broker, port
        time.sleep(0.02)
    raise SystemExit("mosquitto did not start")


def bridge(args, port, device, *options):
    return subprocess.Popen([str(args.build / "tolvek-mqtt"), "--port", device, "--broker",
                             f"mqtt://127.0.0.1:{port}", "--id", "bench", *options], stderr=subprocess.DEVNULL)


def subscriber(port, topic, on_message):
    done = threading.Event()
    client = mqtt.Client()
    client.on_message = on_message
    client.on_subscribe = lambda *_: done.set()
    client.connect("127.0.0.1", port)
    client.subscribe(topic, qos=1)
    client.loop_start()
    done.wait(5)
    return client


def latency(args, port):
    master, slave = os.openpty()
    tty.setraw(slave)
    os.set_blocking(master, False)
    proc = bridge(args, port, os.ttyname(slave), "--poll", "0")
    delivered = []
    client = subscriber(port, "tolvek/bench/set", lambda c, u, m: delivered.append(time.monotonic_ns()))

    def serve(seconds, wanted=None):
        """Answers what comes for the given time, or until the wanted frame; when it arrived."""
        end = time.monotonic_ns() + int(seconds * 1e9)
        pending = b""
        while (left := end - time.monotonic_ns()) > 0:
            if not select.select([master], [], [], left / 1e9)[0]:
                continue
            pending += os.read(master, 256)
            while b"\r" in pending:
                frame, pending = pending.split(b"\r", 1)
                frame += b"\r"
                os.write(master, REPLIES.get(frame, b"\x06"))
                if frame == wanted:
                    return time.monotonic_ns()
        return None

    serve(3)  # connected and quiet
    names = list(COMMANDS)
    figures = []
    for n in range(args.samples):
        name = names[n % len(names)]
        delivered.clear()
        client.publish("tolvek/bench/set", name, qos=1)
        on_line = serve(2, COMMANDS[name])
        if on_line and delivered:
            figures.append((on_line - delivered[0]) / 1e6)
        serve(3.2)  # the poll after the command, and quiet again
    client.loop_stop()
    proc.terminate()
    proc.wait()
    figures.sort()
    print(f"command delivered by the broker -> on the line, {len(figures)} of {args.samples} samples (ms):")
    print(f"  median {statistics.median(figures):.2f}  90th {figures[int(len(figures) * 0.9) - 1]:.2f}  "
          f"max {figures[-1]:.2f}  min {figures[0]:.2f}")


def simulator(args, work):
    sim = subprocess.Popen([str(args.build / "projector-sim"), "--link", str(work / "projector")],
                           stdout=subprocess.PIPE, text=True)
    sim.stdout.readline()
    return sim


def tasks(pid):
    return list(Path(f"/proc/{pid}/task").iterdir())


def cpu_and_wakeups(pid):
    ticks = wakeups = 0
    for task in tasks(pid):
        fields = (task / "stat").read_text().rsplit(")", 1)[1].split()
        ticks += int(fields[11]) + int(fields[12])
        wakeups += int((task / "schedstat").read_text().split()[2])
    return ticks, wakeups


def rss_kib(pid):
    for line in Path(f"/proc/{pid}/status").read_text().splitlines():
        if line.startswith("VmRSS:"):
            return int(line.split()[1])
    return 0


def idle(args, port, work):
    sim = simulator(args, work)
    proc = bridge(args, port, str(work / "projector"), "--poll", str(args.seconds + 60))
    time.sleep(5)  # connected, discovery and the first poll done
    ticks0, wakeups0 = cpu_and_wakeups(proc.pid)
    time.sleep(args.seconds)
    ticks1, wakeups1 = cpu_and_wakeups(proc.pid)
    print(f"idle between polls for {args.seconds} s, {len(tasks(proc.pid))} thread(s): "
          f"CPU {(ticks1 - ticks0) / CLK_TCK * 1000:.0f} ms, {wakeups1 - wakeups0} wake-ups "
          f"({(wakeups1 - wakeups0) / args.seconds * 60:.1f} a minute)")
    for p in (proc, sim):
        p.terminate()
        p.wait()


def memory(args, port, work):
    sim = simulator(args, work)
    proc = bridge(args, port, str(work / "projector"), "--poll", "1")
    seen = []
    client = subscriber(port, "tolvek/bench/reply", lambda c, u, m: seen.append(1))
    start = time.monotonic()
    samples = []
    while (elapsed := time.monotonic() - start) < args.seconds:
        samples.append((elapsed, rss_kib(proc.pid), cpu_and_wakeups(proc.pid)[0]))
        time.sleep(args.interval)
    samples.append((time.monotonic() - start, rss_kib(proc.pid), cpu_and_wakeups(proc.pid)[0]))
    client.loop_stop()
    for p in (proc, sim):
        p.terminate()
        p.wait()
    print(f"--poll 1 for {samples[-1][0]:.0f} s, {len(seen)} replies published; VmRSS (KiB) at:")
    for elapsed, kib, _ in samples[:: max(1, len(samples) // 12)] + samples[-1:]:
        print(f"  {elapsed:7.0f} s  {kib}")
    later = [kib for elapsed, kib, _ in samples if elapsed >= min(60, args.seconds / 2)]
    print(f"  after the first minute: min {min(later)}, max {max(later)}; "
          f"CPU {(samples[-1][2] - samples[0][2]) / CLK_TCK / samples[-1][0] * 100:.2f} % of a core")


def main():
    parser = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter)
    parser.add_argument("what", choices=["latency", "idle", "memory"])
    parser.add_argument("--build", type=Path, default=Path("build"))
    parser.add_argument("--samples", type=int, default=40)
    parser.add_argument("--seconds", type=int, default=120)
    parser.add_argument("--interval", type=int, default=10)
    args = parser.parse_args()
    work = Path(tempfile.mkdtemp(prefix="tolvek-bench-mqtt-"))
    broker, port = start_broker(work)
    try:
        {"latency": lambda: latency(args, port), "idle": lambda: idle(args, port, work),
         "memory": lambda: memory(args, port, work)}[args.what]()
    finally:
        broker.terminate()
        broker.wait()
        shutil.rmtree(work)


if __name__ == "__main__":
    sys.exit(main())
