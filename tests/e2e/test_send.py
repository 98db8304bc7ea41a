"""tolvek-send against projector-sim, over pseudo-terminals and TCP, and against gateways the test
plays itself: what it prints, what it puts on the line, and how it exits.
Run as  python3 test_send.py SEND SIM [unittest arguments]."""

import json
import signal
import socket
import subprocess
import sys
import threading
import time
import unittest
from pathlib import Path

import panel_driver
from panel_driver import Simulator, exclusive, poll, run_tests, spawn, tcp_sockets

SEND = None


def send(*args):
    return subprocess.run([str(SEND), *map(str, args)], capture_output=True, text=True, timeout=30)


def ports(*devices):
    return [a for d in devices for a in ("--port", d)]


def listener(test, backlog=8):
    s = socket.create_server(("127.0.0.1", 0), backlog=backlog)
    test.addCleanup(s.close)
    return s, "tcp://127.0.0.1:%d" % s.getsockname()[1]


def refusing(test):
    s = socket.socket()  # bound, never listening: a connection to it is refused
    test.addCleanup(s.close)
    s.bind(("127.0.0.1", 0))
    return "tcp://127.0.0.1:%d" % s.getsockname()[1]


def gateway(test, answer):
    """A gateway the test plays: answer(connection) talks to each client in turn."""
    s, address = listener(test)
    test.addCleanup(s.shutdown, socket.SHUT_RDWR)  # wakes the accept, before the close

    def serve():
        try:
            while True:
                with s.accept()[0] as connection:
                    answer(connection)
        except OSError:
            return
    threading.Thread(target=serve, daemon=True).start()
    return address


def puzzled(connection):  # a projector that understands nothing
    while frames := connection.recv(64):
        connection.sendall(b"?\r" * frames.count(b"\r"))


class OverPty(unittest.TestCase):
    def test_commands_ack_and_queries_say_the_state_in_words(self):
        sim = Simulator(self, "--warmup", "0", "--hours", "42", "--reversal", "10", "--split-gap", "10")
        run = send("--port", sim.link, "power-on", "input-video", "status", "mode", "lamp-time", "setting", "temp")
        self.assertEqual(run.returncode, 0, run.stderr)
        lines = run.stdout.splitlines()
        self.assertEqual(lines[:-1], ["ACK", "ACK", "Power ON", "Video", "0 0 4 2 Hour", "Top/Bottom reversal"])
        self.assertRegex(lines[-1], r"^S1= \+ \d \d \. \d C ,  S2= \d \d \. \d C ,  S3=\+ \d \d \. \d C$")
        self.assertEqual([f for _, f in sim.frames()], [t + "\\r" for t in "C00 C07 CR0 CR1 CR3 CR4 CR6".split()])

        run = send("--port", sim.link, "--json", "mode", "input-pc")
        self.assertEqual([json.loads(line) for line in run.stdout.splitlines()], [
            {"name": "mode", "sent": "CR1\r", "received": "3\r", "reading": "Video", "value": "Video", "ok": True},
            {"name": "input-pc", "sent": "C05\r", "received": "\x06", "reading": "ACK", "value": None, "ok": True}])

    def test_a_signal_ends_it_with_the_port_released(self):
        for number in (signal.SIGTERM, signal.SIGINT, signal.SIGHUP):
            with self.subTest(signal.Signals(number).name):
                sim = Simulator(self, "--silent")
                tool = spawn(self, SEND, "--port", sim.link, "--timeout", "60000", "status", status=128 + number)
                sim.wait(1)
                self.assertTrue(exclusive(sim.device))
                tool.send_signal(number)
                self.assertEqual(tool.wait(5), 128 + number)
                self.assertFalse(exclusive(sim.device))


class ManyPorts(unittest.TestCase):
    def test_every_port_at_once_and_one_failing_stops_none(self):
        pty, tcp = Simulator(self), Simulator(self, tcp=True)
        silent = [Simulator(self, "--silent"), Simulator(self, "--silent", tcp=True)]
        missing, refused = "/nonexistent/tolvek-send", refusing(self)
        run = send(*ports(pty.link, "tcp://:4001"), "power-on")
        self.assertEqual((run.returncode, run.stdout, pty.frames()), (2, "", []), run.stderr)  # nothing opened

        run = send(*ports(pty.link, tcp.link), "input-pc", "mode")
        self.assertEqual(sorted(run.stdout.splitlines()), [f"{d}\t{r}" for d in (pty.link, tcp.link)
                                                           for r in ("ACK", "Computer")])
        started = time.monotonic()
        run = send(*ports(pty.link, tcp.link, *(s.link for s in silent), missing, refused),
                   "--timeout", "1000", "--json", "power-on", "lamp-time")
        # Each silent port waits out two time-outs of a second; one after the other they take four.
        self.assertLess(time.monotonic() - started, 3.5)
        said = {}
        for o in map(json.loads, run.stdout.splitlines()):
            said.setdefault(o["port"], []).append((o["name"], o["ok"], o["value"]))
        self.assertEqual(said, {**{str(d): [("power-on", True, None), ("lamp-time", True, 1234)]
                                   for d in (pty.link, tcp.link)},
                                **{str(s.link): [("power-on", False, None), ("lamp-time", False, None)]
                                   for s in silent}})
        self.assertEqual((run.returncode, sorted(run.stderr.splitlines())), (3, [
            f"tolvek-send: COM5 ({missing}): No such file or directory",
            f"tolvek-send: COM6 ({refused}): Connection refused"]))

    def test_only_the_projectors_answer_counts(self):
        busy = gateway(self, lambda c: c.sendall(b"Port already in use\r\n"))  # ser2net's, while another holds it
        run = send("--json", "--port", busy, "power-off", "status")
        self.assertEqual(run.returncode, 3, run.stdout)
        self.assertNotIn('"ok":true', run.stdout)

        run = send("--json", "--port", gateway(self, puzzled), "power-on", "status")
        self.assertEqual([(o["received"], o["reading"], o["ok"]) for o in map(json.loads, run.stdout.splitlines())],
                         [("?\r", "? CR", False)] * 2)
        self.assertEqual(run.returncode, 1, run.stderr)

    def test_a_signal_while_connecting_ends_it(self):
        s, address = listener(self, backlog=0)
        self.enterContext(socket.create_connection(s.getsockname()))  # the one the queue holds: the next waits
        tool = spawn(self, SEND, "--port", address, "status", status=128 + signal.SIGTERM)
        port = s.getsockname()[1]
        poll(lambda: any(state == "02" and remote == port for _, remote, state, _ in tcp_sockets()),
             "tolvek-send connecting")  # SYN sent
        tool.send_signal(signal.SIGTERM)
        self.assertEqual(tool.wait(10), 128 + signal.SIGTERM)


if __name__ == "__main__":
    SEND, panel_driver.SIM = (Path(a).resolve() for a in sys.argv[1:3])
    sys.exit(not run_tests())
