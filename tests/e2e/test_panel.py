"""The panel seen from outside: what the buttons put on the line, the held-button repeat, the
monitor view, a line that misbehaves, and what a screen reader finds."""

import collections
import re
import signal
import time
import unittest

from panel_driver import (CLOSED_DEPTH, RXD, STATUS_LINE, TXD, Panel, Simulator, exclusive, extents, lock_files, main,
                          poll, scratch, showing, xdotool)

# Every one-shot button, status query and arrow (a click presses and releases it at once) by its
# accessible name, with the frame a click on it must send.
SENDS = {name: f"{text}\\r" for name, text in (
    ("POWER ON", "C00"), ("C01", "C01"), ("POWER OFF", "C02"), ("INPUT PC", "C05"),
    ("INPUT VIDEO", "C07"), ("AUDIO MUTE ON", "C0B"), ("AUDIO MUTE OFF", "C0C"), ("VIDEO MUTE ON", "C0D"),
    ("VIDEO MUTE OFF", "C0E"), ("VIDEO SCREEN Normal", "C0F"), ("VIDEO SCREEN WIDE", "C10"), ("MENU ON", "C1C"),
    ("MENU OFF", "C1D"), ("DISPLAY CLEAR", "C1E"), ("IMAGE", "C27"), ("POWER MANAGEMENT ON", "C2A"),
    ("POWER MANAGEMENT OFF", "C2B"), ("FREEZE ON", "C43"), ("FREEZE OFF", "C44"), ("A-IMAGE", "C89"),
    ("P-TIMER", "C8A"), ("STATUS", "CR0"), ("MODE", "CR1"), ("L-TIME", "CR3"), ("SETTING", "CR4"), ("TEMP", "CR6"),
    ("Cursor up", "C3C"), ("Cursor down", "C3D"), ("Cursor left", "C3B"), ("Cursor right", "C3A"))}


class Commands(unittest.TestCase):
    def test_ctrl_j_opens_the_monitor_and_every_click_sends_its_frame_once(self):
        sim = Simulator(self)
        panel = Panel(self, sim.link)
        self.assertEqual(panel.depth(), CLOSED_DEPTH)
        panel.open_monitor()  # C01 and the queries stand in the monitor area
        self.assertTrue(panel.showing("CLOSE"))  # the view button, named by its caption
        for count, (button, frame) in enumerate(SENDS.items(), 1):
            panel.click(button)
            self.assertEqual(sim.wait(count)[-1][1], frame, button)
        self.assertEqual([frame for _, frame in sim.frames()], list(SENDS.values()))

    def test_a_hold_on_vol_plus_by_the_right_button_or_space_repeats_every_250_ms(self):
        for way in ("right button", "Space"):
            with self.subTest(way):
                sim = Simulator(self)
                panel = Panel(self, sim.link)
                if way == "Space":
                    import pyatspi
                    xdotool("key", "Tab")  # from POWER ON, which has the focus at start
                    poll(lambda: panel.accessible("VOL +").getState().contains(pyatspi.STATE_FOCUSED), "VOL + focused")
                    xdotool("keydown", "space", "sleep", 1.1, "keyup", "space")  # the keyboard repeats meanwhile
                else:
                    panel.hold("VOL +", 1.1)
                panel.click("INPUT PC")  # on the line after the repeats once the release is handled
                frames = sim.wait(6)
                self.assertEqual([frame for _, frame in frames], ["C09\\r"] * 5 + ["C05\\r"])
                gaps = [b[0] - a[0] for a, b in zip(frames, frames[1:5])]
                self.assertTrue(all(abs(gap - 250) <= 40 for gap in gaps), gaps)

class Faults(unittest.TestCase):
    def test_killed_logged_out_or_interrupted_it_releases_the_port_and_ends_with_0(self):
        for number in (signal.SIGTERM, signal.SIGHUP, signal.SIGINT):
            with self.subTest(signal.Signals(number).name):
                sim = Simulator(self)
                panel = Panel(self, sim.link)
                self.assertTrue(exclusive(sim.device) and lock_files(sim.device))
                panel.proc.send_signal(number)
                self.assertEqual(panel.proc.wait(5), 0)
                self.assertFalse(exclusive(sim.device) or lock_files(sim.device))

    def test_a_signal_during_the_start_up_box_ends_it_with_0(self):
        panel = Panel(self, "/nonexistent/tolvek-com1", wait=False)
        poll(panel.boxes, "the start-up box", 5)
        panel.proc.send_signal(signal.SIGTERM)
        self.assertEqual(panel.proc.wait(3), 0)

    def test_a_gateway_that_hangs_up_is_a_pulled_adapter_warned_of_once_at_the_next_click(self):
        sim = Simulator(self, "--hangup-after", "3", tcp=True)
        panel = Panel(self, sim.link)
        panel.wait_connected(sim.link)
        for button in ("INPUT PC", "INPUT VIDEO", "INPUT PC"):
            panel.click(button)
        self.assertEqual(sim.proc.wait(3), 0)
        panel.open_monitor()  # blocked if the hang-up itself had raised a box
        panel.click("INPUT VIDEO")
        panel.dismiss_the_box()
        self.assertEqual(panel.end(), 0)  # blocked by any further box


def press(node, action):
    """Runs the named action of an accessible object, as a screen reader does."""
    actions = node.queryAction()
    actions.doAction([actions.getName(i) for i in range(actions.nActions)].index(action))


class Accessibility(unittest.TestCase):
    def test_a_screen_reader_hears_each_button_apart_and_only_what_the_window_shows(self):
        import pyatspi
        from gi.repository import GLib
        told = {}  # the showing state each value line was last said to be in

        def note(event):
            told[event.source.description] = event.detail1
        # Before the panel starts, so that it knows someone listens.
        pyatspi.Registry.registerEventListener(note, "object:state-changed:showing")
        self.addCleanup(pyatspi.Registry.deregisterEventListener, note, "object:state-changed:showing")

        def told_of(lines):
            while GLib.MainContext.default().iteration(False):
                pass
            return [told.get(line, 0) for line in lines]

        com1 = scratch(self, "tolvek-e2e-") / "com1"
        panel = Panel(self, com1, wait=False)
        panel.dismiss_the_box()  # its event loop lets the panel meet the bus before its window shows
        window, *controls = panel.tree()
        self.assertEqual(window.name, "TOLVEK   RV 5 & LT 8   CONTROL  Ver.1.31")
        # One window; each group named by its heading, or by what it is, with its buttons in it.
        self.assertEqual([c.name for c in [window, *controls] if c.getRole() == pyatspi.ROLE_FRAME], [window.name])
        buttons = (pyatspi.ROLE_PUSH_BUTTON, pyatspi.ROLE_RADIO_BUTTON)
        groups = {c.name: [b.name for b in c if b.getRole() in buttons]
                  for c in controls if c.getRole() == pyatspi.ROLE_PANEL}
        self.assertEqual(sorted(groups), sorted(["POWER", "INPUT SELECT", "MENU", "AUDIO MUTE", "VIDEO MUTE", "FREEZE",
                                                 "VIDEO SCREEN", "POWER MANAGEMENT", "STATUS", "Port", "Speed",
                                                 "Monitor"]))
        self.assertEqual(groups["AUDIO MUTE"] + groups["Port"],
                         ["AUDIO MUTE ON", "AUDIO MUTE OFF", "Port COM1", "Port COM2"])
        names = [c.name for c in controls if c.getRole() in buttons]
        self.assertEqual([name for name, count in collections.Counter(names).items() if count > 1], [])
        self.assertEqual([said for c in controls for said in (c.name, c.description)
                          if re.fullmatch(r"(Command|Label|Frame|Option|Image)\d+", said)], [])

        def showing_outside_the_window():
            wx, wy, ww, wh = extents(window)

            def outside(x, y, w, h):
                return x >= wx + ww or x + w <= wx or y >= wy + wh or y + h <= wy
            return [c.name or c.description for c in controls if showing(c) and outside(*extents(c))]
        lines = [TXD, RXD, STATUS_LINE]
        self.assertEqual(showing_outside_the_window(), [])
        self.assertEqual([panel.showing(line) for line in lines], [False] * 3)
        self.assertEqual(told_of(lines), [0] * 3)
        panel.open_monitor()
        self.assertEqual(showing_outside_the_window(), [])
        self.assertEqual([panel.showing(line) for line in lines], [True] * 3)
        poll(lambda: told_of(lines) == [1] * 3, "the lines coming into view told")

        sim = Simulator(self)
        com1.symlink_to(sim.link)
        press(panel.accessible("Port COM1"), "Toggle")  # the choice made again opens the port
        press(panel.accessible("POWER ON"), "Press")
        self.assertEqual(sim.wait(1)[0][1], "C00\\r")
        panel.wait_text(TXD, " C 0 0 CR ")
        panel.wait_text(RXD, " ACK ")


class Flood(unittest.TestCase):
    def test_a_megabyte_of_noise_keeps_memory_bounded_and_clicks_prompt(self):
        quiet = Panel(self, Simulator(self).link)
        quiet.open_monitor()
        quiet.text(RXD)  # the accessibility objects a screen reader would make
        quiet_kb = quiet.peak_kb()
        sim = Simulator(self, "--noise", "max", "--noise-bytes", 1 << 20)
        panel = Panel(self, sim.link)
        panel.open_monitor()
        panel.text(RXD)
        poll(lambda: sim.bytes_written() >= 1 << 20, "the flood written", 30)
        clicked = panel.click("INPUT PC")
        (ms, frame), = sim.wait(1)
        polled = time.monotonic() - clicked
        self.assertEqual(frame, "C05\\r")
        # The log's clock is the line's; polling adds our own scheduling on two busy cores.
        self.assertLess(sim.started + ms / 1000 - clicked, 0.1)
        self.assertLess(polled, 0.2)
        self.assertLess(panel.peak_kb(), quiet_kb + 4 * 1024, f"a quiet panel's peak: {quiet_kb} kB")
        self.assertEqual(panel.end(), 0)


if __name__ == "__main__":
    main()
