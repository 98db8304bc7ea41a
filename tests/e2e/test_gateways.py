"""The panel and tolvek-send through Debian's ser2net in front of projector-sim's terminal: raw TCP
on one loopback port, telnet with RFC 2217 on another; a busy gateway and one that never answers.
Run as  python3 test_gateways.py PANEL SIM SEND [unittest arguments]."""

import os
import shutil
import signal
import socket
import subprocess
import sys
import tempfile
import time
import unittest
from pathlib import Path

from panel_driver import RXD, Panel, Simulator, main, poll, spawn

SER2NET = "/usr/sbin/ser2net"


def free_port():
    with socket.socket() as s:
        s.bind(("127.0.0.1", 0))
        return s.getsockname()[1]


def listening(port):
    rows = (row.split() for row in Path("/proc/net/tcp").read_text().splitlines()[1:])
    return any(r[3] == "0A" and int(r[1].rsplit(":", 1)[1], 16) == port for r in rows)


def speed(device):
    return subprocess.run(["stty", "-F", device, "speed"], capture_output=True, text=True).stdout.strip()


class Gateway:
    """ser2net before a device, both ways of reaching it on free ports, stopped by PID after the test."""

    def __init__(self, test, device):
        work = Path(tempfile.mkdtemp(prefix="tolvek-ser2net-"))
        test.addCleanup(shutil.rmtree, work)
        ports = {"tcp": free_port(), "telnet(rfc2217),tcp": free_port()}
        (work / "ser2net.yaml").write_text("%YAML 1.1\n---\n" + "".join(
            f"connection: &port{n}\n    accepter: {accepter},127.0.0.1,{port}\n    enable: on\n"
            f"    connector: serialdev,{device},19200n81,local\n" for n, (accepter, port) in enumerate(ports.items())))
        # ser2net ends with status 1 on SIGTERM.
        spawn(test, SER2NET, "-n", "-c", work / "ser2net.yaml", "-P", work / "pid", status=1,
              stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        poll(lambda: all(map(listening, ports.values())), "ser2net listening", 5)
        self.raw, self.rfc2217 = (f"{scheme}://127.0.0.1:{port}" for scheme, port in zip(("tcp", "rfc2217"), ports.values()))


class Gateways(unittest.TestCase):
    def test_panel_and_tolvek_send_go_through_both_and_only_rfc2217_sets_the_speed(self):
        sim = Simulator(self)
        gateway = Gateway(self, sim.device)
        for device, far_speed in ((gateway.raw, "19200"), (gateway.rfc2217, "9600")):
            with self.subTest(device):
                frames = len(sim.frames())
                run = subprocess.run([SEND, "--port", device, "input-video", "mode"], capture_output=True, text=True)
                self.assertEqual((run.returncode, run.stdout.partition("\n")[0]), (0, "ACK"), run.stderr)
                panel = Panel(self, device)
                panel.open_monitor()  # while it connects
                panel.wait_connected(device)
                panel.click("INPUT PC")
                panel.wait_text(RXD, " ACK ")
                self.assertEqual([f for _, f in sim.wait(frames + 3)[frames:]], ["C07\\r", "CR1\\r", "C05\\r"])
                panel.click("COM: port and speed")
                poll(lambda: panel.showing("Speed 9600 baud"), "the port panel shown")
                panel.click("Speed 9600 baud")
                panel.click("INPUT VIDEO")  # after the speed, on the line
                sim.wait(frames + 4)
                self.assertEqual(speed(sim.device), far_speed)
                self.assertEqual(panel.end(), 0)

    def test_a_busy_gateway_is_named_in_one_box_and_a_signal_ends_the_panel_there(self):
        sim = Simulator(self)
        gateway = Gateway(self, sim.device)
        holder = socket.create_connection(("127.0.0.1", int(gateway.raw.rsplit(":", 1)[1])))
        self.addCleanup(holder.close)
        panel = Panel(self, gateway.raw)
        said = f"COM1 ({gateway.raw}): the gateway closed the connection: Port already in use"
        poll(lambda: any(node.name == said for node in panel.tree()), "the box naming the busy gateway", 5)
        self.assertEqual(len(panel.boxes()), 1)
        panel.proc.send_signal(signal.SIGTERM)
        self.assertEqual(panel.proc.wait(3), 0)

    def test_a_gateway_that_never_answers_holds_up_neither_the_window_nor_a_signal(self):
        listener = socket.create_server(("127.0.0.1", 0), backlog=0)
        self.addCleanup(listener.close)
        filler = socket.create_connection(listener.getsockname())  # the only place in its queue
        self.addCleanup(filler.close)
        started = time.monotonic()
        panel = Panel(self, "tcp://127.0.0.1:%d" % listener.getsockname()[1])
        self.assertLess(time.monotonic() - started, 2.5)  # the connection is bounded at 5 s
        panel.open_monitor()
        panel.proc.send_signal(signal.SIGTERM)
        self.assertEqual(panel.proc.wait(2), 0)


if __name__ == "__main__":
    if "TOLVEK_E2E_SEND" not in os.environ:  # handed on through the D-Bus session's new start
        os.environ["TOLVEK_E2E_SEND"] = str(Path(sys.argv.pop(3)).resolve())
    SEND = os.environ["TOLVEK_E2E_SEND"]
    main()
