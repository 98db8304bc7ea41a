"""tolvek-mqtt between a real Mosquitto broker and projector-sim on a pseudo-terminal: discovery,
commands and states, refusals, a broker that dies and comes back, and the goodbye.
Run as  python3 test_mqtt.py BRIDGE SIM [unittest arguments]."""

import json
import signal
import subprocess
import sys
import threading
import unittest
from pathlib import Path

import panel_driver
from panel_driver import Simulator, free_port, listening, poll, run_tests, scratch, spawn

try:
    import paho.mqtt.client as mqtt
except ImportError:
    mqtt = None

BRIDGE = None
MOSQUITTO = Path("/usr/sbin/mosquitto")
BASE = "tolvek/hall/"
ENTITIES = 38  # 31 buttons, the power switch, the input select, 5 sensors
# How long to wait for what the bridge and the broker will do: no timing is tested here, and
# two cores running the other end-to-end tests at the same time can make them slow.
WAIT = 10


class Broker:
    """Mosquitto on a free loopback port with a configuration of its own and no persistence: what
    it holds was published since it started."""

    def __init__(self, test, status=0):
        self.port = free_port()
        work = scratch(test, "tolvek-mqtt-")
        self.conf = work / "mosquitto.conf"
        self.conf.write_text(f"listener {self.port} 127.0.0.1\nallow_anonymous true\npersistence false\n")
        self.start(test, status)

    def start(self, test, status=0):
        self.proc = spawn(test, MOSQUITTO, "-c", self.conf, status=status, stderr=subprocess.DEVNULL)
        poll(lambda: listening(self.port), "the broker listening", 5)

    def url(self):
        return f"mqtt://127.0.0.1:{self.port}"


class Listener:
    """Everything under the topic from the moment it subscribes, retained messages first."""

    def __init__(self, test, broker, topic="#"):
        self.messages = []  # (topic, payload, retained)
        subscribed = threading.Event()
        self.client = mqtt.Client()
        self.client.on_message = lambda c, u, m: self.messages.append((m.topic, m.payload.decode(), m.retain))
        self.client.on_subscribe = lambda *_: subscribed.set()
        self.client.connect("127.0.0.1", broker.port)
        self.client.subscribe(topic)
        self.client.loop_start()
        test.addCleanup(self.client.loop_stop)
        test.addCleanup(self.client.disconnect)
        if not subscribed.wait(5):
            raise AssertionError("not subscribed")

    def settled(self):
        """What came before a message published now: all the retained ones, once subscribed to #."""
        self.client.publish("settled", "")
        poll(lambda: ("settled", "", False) in self.messages, "the broker's retained messages", WAIT)
        return self.messages[:self.messages.index(("settled", "", False))]

    def payloads(self, topic):
        return [p for t, p, _ in list(self.messages) if t == topic]

    def latest(self, topic):
        return (self.payloads(topic) or [None])[-1]

    def wait(self, leaf, payload, timeout=WAIT):
        poll(lambda: self.latest(BASE + leaf) == payload, f"{leaf} {payload}", timeout)

    def configs(self):
        return {t: json.loads(p) for t, p, _ in list(self.messages) if t.startswith("homeassistant/") and p}

    def publish(self, leaf, payload, retain=False):
        self.client.publish(BASE + leaf, payload, retain=retain).wait_for_publish()


@unittest.skipUnless(mqtt and MOSQUITTO.exists(), "needs mosquitto and python3-paho-mqtt")
class Bridge(unittest.TestCase):
    def bridge(self, broker, *options, device=None):
        return spawn(self, BRIDGE, "--port", device or self.sim.link, "--broker", broker.url(), "--id", "hall",
                     *options)

    def setUp(self):
        self.sim = Simulator(self, "--warmup", "1")

    def test_discovery_and_states_from_the_polls(self):
        broker = Broker(self)
        self.bridge(broker, "--poll", "1")
        seen = Listener(self, broker)
        poll(lambda: seen.latest(BASE + "temperature/3"), "a whole poll", WAIT)
        poll(lambda: len(seen.configs()) == ENTITIES, f"{ENTITIES} entities", WAIT)
        for leaf, payload in [("availability", "online"), ("power", "OFF"), ("input", "PC"), ("lamp-hours", "1234"),
                              ("state/status", "Stand by"), ("state/setting", "Normally")]:
            with self.subTest(leaf):
                self.assertEqual(seen.latest(BASE + leaf), payload)
        self.assertRegex(seen.latest(BASE + "temperature/1"), r"^\d+(\.\d)?$")

    def test_commands_reach_the_line_one_at_a_time_and_the_states_follow(self):
        broker = Broker(self)
        self.bridge(broker, "--poll", "1")
        seen = Listener(self, broker)
        seen.wait("power", "OFF")
        burst = ["power-on", "input-video", "menu-on", "menu-off", "freeze-on"]
        for name in burst:
            seen.publish("set", name)
        seen.wait("state/status", "Power ON")  # once warmed up
        seen.wait("power", "ON")
        seen.wait("input", "VIDEO")
        commands = [f for _, f in self.sim.frames() if not f.startswith("CR")]
        self.assertEqual(commands, ["C00\\r", "C07\\r", "C1C\\r", "C1D\\r", "C43\\r"])
        replies = [json.loads(p) for p in seen.payloads(BASE + "reply")]
        self.assertEqual([(r["name"], r["received"]) for r in replies if r["name"] in burst],
                         [(name, "\x06") for name in burst])

    def test_what_is_not_a_name_sends_nothing_and_says_why(self):
        broker = Broker(self)
        seen = Listener(self, broker)
        # Left on the broker, it would be sent again at every start of the bridge.
        seen.publish("set", "power-on", retain=True)
        self.bridge(broker, "--poll", "0")
        for payload, error in [(None, "retained"),
                               ("pwer-on", "unknown name; close names: power-on"),
                               ("C00", "unknown name"),
                               ("power-on\n", "unknown name"),
                               ("status " * 40, "longer than 256 bytes")]:
            with self.subTest((payload or "retained")[:20]):
                if payload:
                    seen.publish("set", payload)
                poll(lambda: seen.latest(BASE + "error"), "an error", WAIT)
                refusal = json.loads(seen.latest(BASE + "error"))
                self.assertEqual(refusal["payload"], (payload or "power-on")[:256])
                self.assertTrue(refusal["error"].startswith(error), refusal["error"])
                seen.messages.clear()
        self.assertEqual(self.sim.frames(), [])

    def test_a_port_that_will_not_open_is_offline(self):
        broker = Broker(self)
        self.bridge(broker, "--poll", "1", device="/nonexistent/tolvek-mqtt")
        seen = Listener(self, broker)
        seen.wait("availability", "offline")
        seen.publish("set", "power-on")
        poll(lambda: seen.latest(BASE + "error"), "an error", WAIT)
        self.assertRegex(json.loads(seen.latest(BASE + "error"))["error"],
                         r"^not sent: COM1 \(/nonexistent/tolvek-mqtt\): No such file")

    def test_a_gateway_that_hangs_up_is_offline_and_a_command_connects_again(self):
        sim = Simulator(self, "--hangup-after", "6", tcp=True)
        broker = Broker(self)
        self.bridge(broker, "--poll", "0", device=sim.link)
        seen = Listener(self, broker)
        seen.wait("availability", "online")
        seen.publish("set", "power-on")
        # The command and the poll after it, answered; then it hangs up between names.
        self.assertEqual(sim.proc.wait(5), 0)
        seen.wait("availability", "offline")
        # Back at the same address: the next command waits for the connection, then goes.
        sim = Simulator(self, tcp=sim.link.removeprefix("tcp://"))
        seen.publish("set", "input-video")
        self.assertEqual(sim.wait(1)[0][1], "C07\\r")
        seen.wait("availability", "online")

    def test_a_broker_restarted_gets_availability_discovery_and_states_again(self):
        broker = Broker(self, status=-signal.SIGKILL)
        self.bridge(broker, "--poll", "1")
        Listener(self, broker).wait("lamp-hours", "1234")
        broker.proc.kill()
        broker.proc.wait()  # its port free again
        broker.start(self)
        seen = Listener(self, broker)
        seen.wait("availability", "online", 2 * WAIT)  # the reconnection backs off
        poll(lambda: len(seen.configs()) == ENTITIES, f"{ENTITIES} entities", WAIT)
        self.assertEqual(seen.latest(BASE + "lamp-hours"), "1234")

    def test_a_signal_leaves_offline_retained(self):
        broker = Broker(self)
        for number in (signal.SIGTERM, signal.SIGINT, signal.SIGHUP):
            with self.subTest(signal.Signals(number).name):
                bridge = self.bridge(broker, "--poll", "0")
                Listener(self, broker).wait("availability", "online")
                bridge.send_signal(number)
                self.assertEqual(bridge.wait(5), 0)
                after = Listener(self, broker, BASE + "availability")
                poll(lambda: after.messages, "availability", WAIT)
                self.assertEqual(after.messages, [(BASE + "availability", "offline", True)])

    def test_remove_discovery_empties_every_config(self):
        broker = Broker(self)
        bridge = self.bridge(broker, "--poll", "0")
        seen = Listener(self, broker)
        poll(lambda: len(seen.configs()) == ENTITIES, f"{ENTITIES} entities", WAIT)
        bridge.terminate()
        self.assertEqual(bridge.wait(5), 0)
        run = subprocess.run([BRIDGE, "--broker", broker.url(), "--id", "hall", "--remove-discovery"], timeout=10)
        self.assertEqual(run.returncode, 0)
        self.assertEqual([m for m in Listener(self, broker).settled() if m[0].startswith("homeassistant/")], [])

    def test_bad_values_open_nothing(self):
        broker = Broker(self)
        for options in (["--poll", "soon"], ["--id", "a/b"], ["--broker", "mqtt://127.0.0.1:0"]):
            with self.subTest(options):
                run = subprocess.run([BRIDGE, "--port", self.sim.link, "--broker", broker.url(), *options],
                                     capture_output=True, text=True, timeout=10)
                self.assertEqual((run.returncode, run.stdout), (2, ""))
                self.assertIn("Try 'tolvek-mqtt --help'", run.stderr)
        self.assertEqual(Listener(self, broker).settled(), [])
        self.assertEqual(self.sim.frames(), [])


if __name__ == "__main__":
    BRIDGE, panel_driver.SIM = (Path(a).resolve() for a in sys.argv[1:3])
    sys.exit(not run_tests())
