"""The panel when the line misbehaves: no port, a port someone else holds, a projector that
hangs up, says nothing, or answers late and in pieces."""

import os
import time

from panel_driver import TITLE, PanelTestCase, main, panel_off_screen, poll, stop


class MissingAndHeldPorts(PanelTestCase):
    def test_a_missing_port_warns_once_and_the_panel_keeps_running(self):
        panel = self.start_panel(self.work / "no-such-port", wait_for_window=False)
        poll(panel.boxes, 10.0, "a warning box at start-up")
        self.assertEqual(panel.box_texts(), [(TITLE, ["No such file or directory"])])
        panel.dismiss_box()
        panel.wait_for_window()
        self.assertEqual(panel.boxes(), [])

        # A send on the closed port warns the same way.
        panel.click("Command27")
        poll(panel.boxes, 3.0, "a warning box for the send")
        self.assertEqual(len(panel.box_texts()), 1)
        self.assertEqual(panel.box_texts()[0][0], TITLE)
        panel.dismiss_box()
        self.assertEqual(panel.end(), 0)

    def test_a_port_held_by_another_program_warns_and_can_be_chosen_again(self):
        sim = self.start_sim()
        holder = panel_off_screen(self.work, sim.link)
        self.addCleanup(stop, holder)
        poll(lambda: any(os.path.realpath(f"/proc/{holder.pid}/fd/{fd}") == sim.device
                         for fd in os.listdir(f"/proc/{holder.pid}/fd")), 5.0, "the port held")

        panel = self.start_panel(sim.link, wait_for_window=False)
        poll(panel.boxes, 10.0, "a warning box at start-up")
        self.assertEqual(panel.box_texts(), [(TITLE, ["Permission error while locking the device"])])
        panel.dismiss_box()
        panel.wait_for_window()
        self.assertTrue(panel.alive())

        # Once the port is free, choosing COM1 again opens it.
        stop(holder)
        panel.click("Command33")
        poll(lambda: panel.showing("Option1"), 2.0, "the port panel shown")
        panel.click("Option1")
        panel.click("Command28")
        sim.wait_frames(1)
        self.assertEqual(sim.texts(), ["C07\\r"])
        self.assertEqual(panel.boxes(), [])
        self.assertEqual(panel.end(), 0)


class MisbehavingProjector(PanelTestCase):
    def barrier(self, panel):
        """Returns once the panel has handled every earlier input: Ctrl+J is handled in turn."""
        panel.open_monitor()

    def test_a_hangup_warns_at_the_next_click_once(self):
        sim = self.start_sim("--hangup-after", "3")
        panel = self.start_panel(sim.link)
        for button in ("Command27", "Command28", "Command27"):
            panel.click(button)
        sim.wait_frames(3)
        self.assertEqual(sim.proc.wait(3), 0)

        panel.click("Command28")
        poll(panel.boxes, 3.0, "a warning box for the send")
        self.assertEqual(len(panel.boxes()), 1)
        panel.dismiss_box()
        self.barrier(panel)
        self.assertEqual(panel.boxes(), [])
        self.assertEqual(panel.end(), 0)

    def test_a_hangup_during_a_hold_warns_once_and_ends_the_hold(self):
        sim = self.start_sim("--hangup-after", "3")
        panel = self.start_panel(sim.link)
        panel.hold("Command1", 1.6)
        poll(panel.boxes, 3.0, "a warning box during the hold")
        self.assertEqual(sim.proc.wait(3), 0)
        self.assertEqual(sim.texts(), ["C09\\r"] * 3)
        self.assertEqual(len(panel.boxes()), 1)
        panel.dismiss_box()
        self.barrier(panel)
        self.assertEqual(panel.boxes(), [])
        self.assertEqual(panel.end(), 0)

    def test_a_silent_projector_is_marked_from_half_a_second_to_a_second(self):
        sim = self.start_sim("--silent")
        panel = self.start_panel(sim.link)
        panel.open_monitor()
        clicked = time.monotonic()
        panel.click("Command27")
        panel.wait_text("Label12", lambda t: t == " X X X X", 1.0, "the time-out mark")
        marked = time.monotonic() - clicked
        panel.wait_text("Label12", lambda t: t == "", 1.0, "the mark cleared")
        cleared = time.monotonic() - clicked
        print(f"\n  mark from {marked:.3f} s to {cleared:.3f} s after the click")
        self.assertEqual(sim.texts(), ["C05\\r"])
        self.assertGreaterEqual(marked, 0.5)
        self.assertLess(marked, 0.7)
        self.assertGreaterEqual(cleared, 1.0)
        self.assertLess(cleared, 1.2)

    def test_late_replies_in_pieces_are_decoded_whole(self):
        sim = self.start_sim("--split", "--delay", "200", "--hours", "42")
        panel = self.start_panel(sim.link)
        panel.open_monitor()
        panel.click("Command44")
        panel.wait_text("Label12", lambda t: t == " 8 0 CR ", 1.0, "the whole STATUS reply")
        self.assertEqual(panel.text("Label25"), " Stand by")
        panel.wait_text("Label25", lambda t: t == "", 2.0, "the status line cleared")
        panel.click("Command46")
        panel.wait_text("Label25", lambda t: t == " 0 0 4 2 Hour", 1.0, "L-TIME decoded")


if __name__ == "__main__":
    main()
