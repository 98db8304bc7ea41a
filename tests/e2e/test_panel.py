"""The panel seen from outside: what the buttons put on the line, the held-button repeat, the
monitor view, and a line that misbehaves."""

import os
import signal
import time
import unittest

from panel_driver import CLOSED_DEPTH, Panel, Simulator, exclusive, lock_files, main, poll

# Every one-shot button and status query, with the frame a click on it must send.
SENDS = {f"Command{n}": f"{text}\\r" for n, text in (pair.split("=") for pair in """
    17=C00 52=C01 18=C02 27=C05 28=C07 19=C0B 20=C0C 21=C0D 22=C0E 31=C0F 32=C10 23=C1C 24=C1D 3=C1E
    53=C27 54=C2A 55=C2B 25=C43 26=C44 13=C89 14=C8A 44=CR0 45=CR1 46=CR3 47=CR4 56=CR6""".split())}


class Commands(unittest.TestCase):
    def test_ctrl_j_opens_the_monitor_and_every_click_sends_its_frame_once(self):
        sim = Simulator(self)
        panel = Panel(self, sim.link)
        self.assertEqual(panel.depth(), CLOSED_DEPTH)
        panel.open_monitor()  # C01 and the queries stand in the monitor area
        self.assertEqual(panel.text("Command34"), "CLOSE")
        for count, (button, frame) in enumerate(SENDS.items(), 1):
            panel.click(button)
            self.assertEqual(sim.wait(count)[-1][1], frame, button)
        self.assertEqual([frame for _, frame in sim.frames()], list(SENDS.values()))

    def test_a_right_button_hold_on_vol_plus_repeats_every_250_ms(self):
        sim = Simulator(self)
        panel = Panel(self, sim.link)
        panel.hold("Command1", 1.1)
        panel.click("Command27")  # on the line after the repeats once the release is handled
        frames = sim.wait(6)
        self.assertEqual([frame for _, frame in frames], ["C09\\r"] * 5 + ["C05\\r"])
        gaps = [b[0] - a[0] for a, b in zip(frames, frames[1:5])]
        self.assertTrue(all(abs(gap - 250) <= 40 for gap in gaps), gaps)

    def test_status_shows_power_on_after_the_warm_up(self):
        panel = Panel(self, Simulator(self, "--warmup", "0.5").link)
        panel.open_monitor()
        panel.click("Command17")
        panel.wait_text("Label12", " ACK ")
        panel.wait_text("Label12", "", 2.0)  # a second after the send, past the warm-up
        panel.click("Command44")
        panel.wait_text("Label25", " Power ON")


def holds(proc):
    """The files a process has open; one may close while they are read."""
    held = set()
    for fd in os.listdir(f"/proc/{proc.pid}/fd"):
        try:
            held.add(os.readlink(f"/proc/{proc.pid}/fd/{fd}"))
        except FileNotFoundError:
            pass
    return held


class Faults(unittest.TestCase):
    def test_a_missing_port_warns_once_and_the_panel_keeps_running(self):
        panel = Panel(self, "/nonexistent/tolvek-com1", wait=False)
        panel.dismiss_the_box()
        self.assertEqual(panel.end(), 0)  # blocked by any further box

    def test_a_port_held_by_another_program_warns_and_opens_once_chosen_again(self):
        sim = Simulator(self)
        holder = Panel(self, sim.link, wait=False, platform="offscreen").proc
        poll(lambda: sim.device in holds(holder), "the port held", 5)
        panel = Panel(self, sim.link, wait=False)
        panel.dismiss_the_box()
        holder.terminate()  # as a user ends it: the port comes free for everyone, not root alone
        self.assertEqual(holder.wait(5), 0)
        panel.click("Command33")
        poll(lambda: panel.showing("Option1"), "the port panel shown")
        panel.click("Option1")
        panel.click("Command28")
        self.assertEqual(sim.wait(1)[0][1], "C07\\r")

    def test_killed_logged_out_or_interrupted_it_releases_the_port_and_ends_with_0(self):
        for number in (signal.SIGTERM, signal.SIGHUP, signal.SIGINT):
            with self.subTest(signal.Signals(number).name):
                sim = Simulator(self)
                panel = Panel(self, sim.link)
                self.assertTrue(exclusive(sim.device) and lock_files(sim.device))
                panel.proc.send_signal(number)
                self.assertEqual(panel.proc.wait(5), 0)
                self.assertFalse(exclusive(sim.device) or lock_files(sim.device))

    def test_a_hangup_warns_once_at_the_next_click(self):
        sim = Simulator(self, "--hangup-after", "3")
        panel = Panel(self, sim.link)
        for button in ("Command27", "Command28", "Command27"):
            panel.click(button)
        self.assertEqual(sim.proc.wait(3), 0)
        panel.open_monitor()  # blocked if the hang-up itself had raised a box
        panel.click("Command28")
        panel.dismiss_the_box()
        self.assertEqual(panel.end(), 0)  # blocked by any further box

    def test_a_silent_projector_is_marked_from_half_a_second_to_a_second(self):
        panel = Panel(self, Simulator(self, "--silent").link)
        panel.open_monitor()
        clicked = time.monotonic()
        panel.click("Command27")
        panel.wait_text("Label12", " X X X X")
        marked = time.monotonic() - clicked
        panel.wait_text("Label12", "")
        cleared = time.monotonic() - clicked
        self.assertTrue(0.5 <= marked < 0.7 and 1.0 <= cleared < 1.2, (marked, cleared))

    def test_late_replies_in_pieces_are_decoded_whole(self):
        panel = Panel(self, Simulator(self, "--split", "--delay", "200").link)
        panel.open_monitor()
        panel.click("Command44")
        panel.wait_text("Label12", " 8 0 CR ")
        self.assertEqual(panel.text("Label25"), " Stand by")


class Flood(unittest.TestCase):
    def test_a_megabyte_of_noise_keeps_memory_bounded_and_clicks_prompt(self):
        quiet = Panel(self, Simulator(self).link)
        quiet.open_monitor()
        quiet.text("Label12")  # the accessibility objects a screen reader would make
        quiet_kb = quiet.peak_kb()
        sim = Simulator(self, "--noise", "max", "--noise-bytes", 1 << 20)
        panel = Panel(self, sim.link)
        panel.open_monitor()
        panel.text("Label12")
        poll(lambda: sim.bytes_written() >= 1 << 20, "the flood written", 30)
        clicked = time.monotonic()
        panel.click("Command27")
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
