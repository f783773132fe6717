"""The two-tone meter on screen during a download: Setup.exe under Wine against the local service,
its meter captured from the X screen while the transfer waits between paced chunks, and every
column of the light bar checked against the 64 bands from the meter's colour to white.

    python3 tests/e2e/meter_e2e_test.py

Environment as for setup_e2e_test.py.
"""

import os
import sys
import time
import unittest

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import harness  # noqa: E402
import setup_e2e_test as e2e  # noqa: E402

METER = (16, 64, 498, 10)  # in Panel3
METER_RGB = (201, 248, 252)
STEPS = 64


def mul_div(a, b, c):
    """The platform's MulDiv for non-negative operands: halves round away from zero."""
    return (a * b + c // 2) // c


def ramp(i):
    return tuple(s + mul_div(i, 255 - s, STEPS - 1) for s in METER_RGB)


def band_at(x, length):
    return next(i for i in range(STEPS)
                if mul_div(i, length, STEPS) <= x < mul_div(i + 1, length, STEPS))


class MeterDuringDownloadTest(e2e.SetupCase):
    def test_meter_shows_the_gradient_bands_over_the_bar(self):
        # 16 chunks of 64 KiB, 0.6 s apart: the window waits in the middle of the transfer long
        # enough to be captured, showing the value of its last pump.
        self.service.installer(size=16 * 65536, chunk_delay_ms=600)
        process = self.start_setup()
        self.wait_for_requests(2)
        info = self.setup_window()
        x0, y0 = harness.screen_point(info, e2e.PANEL3_ORIGIN[0] + METER[0],
                                      e2e.PANEL3_ORIGIN[1] + METER[1])
        path = os.path.join(self.workdir, "meter.png")
        deadline = time.monotonic() + e2e.WAIT_S
        found = None
        previous = None
        while found is None and time.monotonic() < deadline and process.poll() is None:
            harness.screenshot(path, crop=(x0, y0, METER[2], METER[3]))
            _, _, pixel = harness.read_rgb(path)
            # Row 0 lies above the text's glyphs: only the bar and the background show there.
            top = [pixel(x, 0) for x in range(METER[2])]
            length = max((x + 1 for x, p in enumerate(top) if p != METER_RGB), default=0)
            percent = next((p for p in range(101) if mul_div(p, METER[2], 100) == length), None)
            # Two equal captures in a row: the screen was not caught in the middle of a repaint.
            if percent is not None and 35 <= percent <= 65 and top == previous:
                found = (length, top, pixel)
            previous = top

        self.assertIsNotNone(found, "no capture of the meter between 35 % and 65 %")
        e2e.keep(path, "meter-during-download.png")
        length, top, pixel = found
        for x in range(length):
            with self.subTest(x=x):
                self.assertEqual(top[x], ramp(band_at(x, length)))
        self.assertEqual(top[length - 1], (255, 255, 255), "the leading edge is pure white")
        self.assertTrue(all(p == METER_RGB for p in top[length:]))
        # The percentage is drawn in black over the middle of the line.
        dark = sum(1 for y in range(2, 9) for x in range(220, 278) if sum(pixel(x, y)) < 300)
        self.assertGreater(dark, 0)
        # The transfer goes on to the end (the paced body is no program, so nothing starts).
        self.assert_ended(process)
        self.assertEqual(self.read_file(self.installer_file), self.service.installer_bytes())


if __name__ == "__main__":
    unittest.main()
