"""tolvek-send against projector-sim, over a pseudo-terminal and over TCP: what it prints, what
it puts on the line, and how it exits. Run as  python3 test_send.py SEND SIM [unittest arguments]."""

import json
import os
import re
import signal
import socket
import subprocess
import sys
import unittest
from pathlib import Path

import panel_driver
from panel_driver import Simulator, exclusive, poll, spawn

SEND = None


def send(*args):
    return subprocess.run([str(SEND), *map(str, args)], capture_output=True, text=True, timeout=30)


class OverPty(unittest.TestCase):
    tcp = False

    def simulator(self, *options):
        return Simulator(self, *options, tcp=self.tcp)

    def missing_device(self):
        return "/nonexistent/tolvek-send", "No such file or directory"

    def test_commands_ack_and_queries_say_the_state_in_words(self):
        sim = self.simulator("--warmup", "0.2", "--hours", "42", "--reversal", "10", "--split-gap", "10")
        run = send("--port", sim.link, "power-on", "input-video", "status", "mode", "lamp-time", "setting", "temp")
        self.assertEqual(run.returncode, 0, run.stderr)
        lines = run.stdout.splitlines()
        self.assertEqual(lines[:-1], ["ACK", "ACK", "Power ON", "Video", "0 0 4 2 Hour", "Top/Bottom reversal"])
        self.assertRegex(lines[-1], r"^S1= \+ \d \d \. \d C ,  S2= \d \d \. \d C ,  S3=\+ \d \d \. \d C$")
        self.assertEqual([f for _, f in sim.frames()], [t + "\\r" for t in "C00 C07 CR0 CR1 CR3 CR4 CR6".split()])

        run = send("--port", sim.link, "--json", "mode", "input-pc")
        self.assertEqual([json.loads(line) for line in run.stdout.splitlines()], [
            {"name": "mode", "sent": "CR1\r", "received": "3\r", "reading": "Video", "ok": True},
            {"name": "input-pc", "sent": "C05\r", "received": "\x06", "reading": "ACK", "ok": True}])

    def test_a_silent_projector_gives_no_reply_and_status_1(self):
        sim = self.simulator("--silent")
        run = send("--port", sim.link, "power-on", "status")
        self.assertEqual((run.returncode, run.stdout), (1, "no reply\nno reply\n"), run.stderr)
        self.assertEqual(len(sim.wait(2)), 2)

    def test_an_unknown_name_sends_nothing_and_exits_2(self):
        sim = self.simulator()
        run = send("--port", sim.link, "power-on", "pwer-of")
        self.assertEqual((run.returncode, run.stdout), (2, ""))
        self.assertRegex(run.stderr, '"pwer-of"; close names: .*power-off')
        self.assertEqual(send("--port", sim.link, "status").returncode, 0)
        self.assertEqual(sim.frames(), sim.wait(1))  # the query alone
        self.assertEqual(sim.frames()[0][1], "CR0\\r")

    def test_a_device_that_cannot_be_opened_exits_3_with_the_system_message(self):
        device, message = self.missing_device()
        run = send("--port", device, "power-on")
        self.assertEqual((run.returncode, run.stdout), (3, ""))
        self.assertIn(f"({device}): {message}", run.stderr)

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


class OverTcp(OverPty):
    tcp = True
    test_a_signal_ends_it_with_the_port_released = None

    def missing_device(self):
        with socket.socket() as s:  # a port nothing listens on once it is closed
            s.bind(("127.0.0.1", 0))
            port = s.getsockname()[1]
        return f"tcp://127.0.0.1:{port}", "Connection refused"


if __name__ == "__main__":
    SEND, panel_driver.SIM = (Path(a).resolve() for a in sys.argv[1:3])
    program = unittest.main(argv=[sys.argv[0], *sys.argv[3:]], verbosity=2, exit=False)
    sys.exit(not program.result.wasSuccessful())
