"""The panel and tolvek-send through Debian's ser2net in front of projector-sim's terminal: raw TCP
on one loopback port, telnet with RFC 2217 on another.
Run as  python3 test_gateways.py PANEL SIM SEND [unittest arguments]."""

import os
import subprocess
import sys
import unittest
from pathlib import Path

from panel_driver import RXD, Panel, Simulator, free_port, holds, listening, main, poll, scratch, spawn

SER2NET = "/usr/sbin/ser2net"


def speed(device):
    return subprocess.run(["stty", "-F", device, "speed"], capture_output=True, text=True).stdout.strip()


class Gateway:
    """ser2net before a device, both ways of reaching it on free ports, stopped by PID after the test."""

    def __init__(self, test, device):
        work = scratch(test, "tolvek-ser2net-")
        ports = {"tcp": free_port(), "telnet(rfc2217),tcp": free_port()}
        (work / "ser2net.yaml").write_text("%YAML 1.1\n---\n" + "".join(
            f"connection: &port{n}\n    accepter: {accepter},127.0.0.1,{port}\n    enable: on\n"
            f"    connector: serialdev,{device},19200n81,local\n" for n, (accepter, port) in enumerate(ports.items())))
        # ser2net ends with status 1 on SIGTERM.
        self.proc, self.device = spawn(test, SER2NET, "-n", "-c", work / "ser2net.yaml", "-P", work / "pid", status=1,
              stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL), device
        poll(lambda: all(map(listening, ports.values())), "ser2net listening", 5)
        self.raw, self.rfc2217 = (f"{scheme}://127.0.0.1:{port}" for scheme, port in zip(("tcp", "rfc2217"), ports.values()))

    def idle(self):
        """Whether ser2net has let go of the device, as it does a moment after its client leaves."""
        return self.device not in holds(self.proc)


class Gateways(unittest.TestCase):
    def test_panel_and_tolvek_send_go_through_both_and_only_rfc2217_sets_the_speed(self):
        sim = Simulator(self)
        gateway = Gateway(self, sim.device)
        for device, far_speed in ((gateway.raw, "19200"), (gateway.rfc2217, "9600")):
            with self.subTest(device):
                poll(gateway.idle, "the device free for the next client")
                frames = len(sim.frames())
                run = subprocess.run([SEND, "--port", device, "input-video", "mode"], capture_output=True, text=True,
                                     timeout=30)
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


if __name__ == "__main__":
    if "TOLVEK_E2E_SEND" not in os.environ:  # handed on through the D-Bus session's new start
        os.environ["TOLVEK_E2E_SEND"] = str(Path(sys.argv.pop(3)).resolve())
    SEND = os.environ["TOLVEK_E2E_SEND"]
    main()
