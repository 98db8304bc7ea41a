"""What the buttons put on the line, the repeat of a held button, the monitor view and a
decoded status reply, seen from outside the panel."""

from panel_driver import (CLOSED_DEPTH, FULL_DEPTH, INTERMEDIATE_DEPTH, PanelTestCase, main, poll)

# Every one-shot button with the command a click on it must send.
ONE_SHOT = {
    "Command17": "C00", "Command52": "C01", "Command18": "C02", "Command27": "C05",
    "Command28": "C07", "Command19": "C0B", "Command20": "C0C", "Command21": "C0D",
    "Command22": "C0E", "Command31": "C0F", "Command32": "C10", "Command23": "C1C",
    "Command24": "C1D", "Command3": "C1E", "Command53": "C27", "Command54": "C2A",
    "Command55": "C2B", "Command25": "C43", "Command26": "C44", "Command13": "C89",
    "Command14": "C8A",
}
QUERIES = {"Command44": "CR0", "Command45": "CR1", "Command46": "CR3", "Command47": "CR4",
           "Command56": "CR6"}


def txd(text):
    """How the sent-data line shows a text and its carriage return."""
    return " " + "".join(c + " " for c in text) + "CR "


class Commands(PanelTestCase):
    def test_every_click_sends_its_text_once(self):
        sim = self.start_sim()
        panel = self.start_panel(sim.link)
        panel.open_monitor()  # "C01" and the queries stand in the monitor area
        expected = []
        for button, text in {**ONE_SHOT, **QUERIES}.items():
            panel.click(button)
            expected.append(text + "\\r")
            sim.wait_frames(len(expected))
            self.assertEqual(sim.texts()[-1], expected[-1], button)
            panel.wait_text("Label11", lambda t, text=text: t == txd(text), 1.0, f"TXD after {button}")
        # Each exactly once, nothing in between.
        self.assertEqual(sim.texts(), expected)

    def test_a_right_button_hold_on_vol_plus_repeats_every_250_ms(self):
        sim = self.start_sim()
        panel = self.start_panel(sim.link)
        panel.hold("Command1", 1.1, button=3)
        # Once a later click is on the line the release has been handled: events come in order.
        panel.click("Command27")
        frames = poll(lambda: (lambda f: f and f[-1][1] == "C05\\r" and f)(sim.frames()), 2.0,
                      "the click after the hold")[:-1]
        self.assertEqual([text for _, text in frames], ["C09\\r"] * 5)
        gaps = [b[0] - a[0] for a, b in zip(frames, frames[1:])]
        print(f"\n  repeats {gaps} ms apart")
        for gap in gaps:
            self.assertAlmostEqual(gap, 250, delta=40, msg=f"gaps {gaps}")

    def test_ctrl_j_opens_the_monitor_and_the_view_button_closes_it(self):
        sim = self.start_sim()
        panel = self.start_panel(sim.link)
        self.assertEqual(panel.client_height(), CLOSED_DEPTH)
        panel.open_monitor()
        self.assertEqual(panel.client_height(), FULL_DEPTH)
        self.assertEqual(panel.text("Command34"), "CLOSE")

        panel.click("Command34")
        poll(lambda: panel.client_height() == CLOSED_DEPTH, 2.0, "the view closed")
        self.assertEqual(panel.text("Command34"), "データを表示する")
        # The clicked button keeps the focus, out of sight: Return opens the view part way.
        panel.key("Return")
        poll(lambda: panel.client_height() == INTERMEDIATE_DEPTH, 2.0, "the view open part way")
        self.assertEqual(panel.text("Command34"), "データを表示しない")
        self.assertEqual(sim.texts(), [])

    def test_status_shows_power_on_once_the_projector_has_warmed_up(self):
        sim = self.start_sim("--warmup", "1")
        panel = self.start_panel(sim.link)
        panel.open_monitor()
        panel.click("Command17")
        sim.wait_frames(1)
        # The ON's acknowledgement would stand before the reply until the monitor is cleared.
        panel.wait_text("Label12", lambda t: t == " ACK ", 1.0, "the ON acknowledged")
        panel.wait_text("Label12", lambda t: t == "", 2.0, "the monitor cleared")
        words = []

        def ask():
            # The status line is blank until the reply is decoded, and again a second later.
            panel.click("Command44")
            words.append(panel.wait_text("Label25", bool, 1.0, "a word on the status line"))
            if words[-1] == " Power ON":
                return panel.text("Label12")
            panel.wait_text("Label25", lambda t: t == "", 2.0, "the status line cleared")
            return None
        rxd = poll(ask, 6.0, "Power ON", interval=0)
        self.assertEqual(rxd, " 0 0 CR ")
        self.assertLessEqual(set(words), {" Count down", " Power ON"})

if __name__ == "__main__":
    main()
