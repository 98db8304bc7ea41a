"""A projector that floods the line with noise at full speed: the panel must keep its memory
bounded and keep answering the user."""

import time

from panel_driver import Panel, PanelTestCase, main, poll

MEGABYTE = 1 << 20


class Flood(PanelTestCase):
    def setUp(self):
        super().setUp()
        self.quiet = self.peak_memory_of_a_quiet_panel()

    def peak_memory_of_a_quiet_panel(self):
        sim = self.start_sim(name="quiet")
        panel = Panel(self.work, sim.link, name="quiet")
        try:
            self.exercise(panel)
            return panel.status("VmHWM")
        finally:
            panel.close()

    def exercise(self, panel):
        panel.open_monitor()
        panel.text("Label12")  # the accessibility objects a screen reader would make

    def click_and_time(self, sim, button, frame):
        """Seconds from the click to its frame on the line: polled, and by the log's clock."""
        clicked = time.monotonic()
        self.panel.click(button)
        logged = poll(lambda: [ms for ms, text in sim.frames() if text == frame], 2.0, f"{frame} on the line")
        return time.monotonic() - clicked, sim.started + logged[0] / 1000 - clicked

    def flood(self, size):
        sim = self.start_sim("--noise", "max", "--noise-bytes", size)
        self.panel = self.start_panel(sim.link)
        self.exercise(self.panel)
        return sim

    def assert_bounded(self):
        peak = self.panel.status("VmHWM")
        self.assertLess(peak, self.quiet + 50 * 1024, f"peak {peak} kB, a quiet panel's {self.quiet} kB")
        return peak

    def assert_prompt(self, polled, logged):
        # The log's clock is the line's; polling adds our own scheduling on two busy cores.
        self.assertLess(logged, 0.1)
        self.assertLess(polled, 0.2)

    def test_a_megabyte_of_noise(self):
        sim = self.flood(MEGABYTE)
        poll(lambda: sim.bytes_written() >= MEGABYTE, 30.0, "the flood written")
        polled, logged = self.click_and_time(sim, "Command27", "C05\\r")
        peak = self.assert_bounded()
        print(f"\n  after 1 MB: click on the line in {polled * 1000:.0f} ms (log clock {logged * 1000:.0f} ms); "
              f"peak memory {peak} kB, quiet panel {self.quiet} kB")
        self.assert_prompt(polled, logged)
        self.assertEqual(self.panel.end(), 0)

    def test_a_click_in_the_middle_of_a_long_flood(self):
        # A megabyte is read in some 50 ms, too soon to click into: this flood lasts half a second
        # or more.
        size = 32 * MEGABYTE
        sim = self.flood(size)
        poll(lambda: sim.bytes_written() > size // 8, 10.0, "the flood under way")
        polled, logged = self.click_and_time(sim, "Command27", "C05\\r")
        written = sim.bytes_written()
        peak = self.assert_bounded()
        print(f"\n  during {size // MEGABYTE} MB: click on the line in {polled * 1000:.0f} ms "
              f"(log clock {logged * 1000:.0f} ms) with {written // MEGABYTE} MB written; "
              f"peak memory {peak} kB, quiet panel {self.quiet} kB")
        self.assertLess(written, size, "the flood was over before the click was on the line")
        self.assert_prompt(polled, logged)
        poll(lambda: sim.bytes_written() >= size, 60.0, "the flood written")
        self.assert_bounded()
        self.assertEqual(self.panel.end(), 0)


if __name__ == "__main__":
    main()
