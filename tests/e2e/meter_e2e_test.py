"""The two-tone meter on screen during a download paused at 50 %: Setup.exe under Wine against the
local service, which sends half of the installer and then holds the rest back; the meter is
captured from the X screen and every column of its light bar checked against the 64 bands from
the meter's colour to white.

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

METER_RGB = (201, 248, 252)
WHITE = (255, 255, 255)
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
    def test_meter_paused_at_50_percent_shows_the_gradient_bands(self):
        size = 4 * 65536
        self.service.installer(size=size, pause_after=size // 2, pause_ms=600000)
        process = self.start_setup()
        info = self.setup_window()
        self.wait_for("the installer request", lambda: self.service.log()[1:])
        left, top, width, height = e2e.METER
        x0, y0 = harness.screen_point(info, left, top)
        path = os.path.join(self.workdir, "meter.png")
        length = mul_div(50, width, 100)  # 249 of 498
        # Two equal captures showing the whole half: the screen is not caught inside a repaint.
        deadline = time.monotonic() + e2e.STALL_LIMIT_S / 2
        previous = found = None
        while found is None and time.monotonic() < deadline:
            harness.screenshot(path, crop=(x0, y0, width, height))
            _, _, pixel = harness.read_rgb(path)
            # Row 0 lies above the text's glyphs: only the bar and the background show there.
            row = [pixel(x, 0) for x in range(width)]
            if row == previous and row[length - 1] == WHITE:
                found = (row, pixel)
            previous = row
        self.assertIsNotNone(found, "the meter never showed 50 %")
        e2e.keep(path, "meter-paused-at-50.png")
        row, pixel = found
        # Band 0 spans x 0 to 4, band 63 245 to 249; colours 0, 32 and 63 as pinned.
        self.assertEqual(ramp(0), METER_RGB)
        self.assertEqual(ramp(32), (228, 252, 254))
        self.assertEqual(ramp(63), WHITE)
        self.assertEqual([band_at(x, length) for x in (0, 3, 4, 245, 248)], [0, 0, 1, 63, 63])
        for y in (0, height - 1):
            for x in range(width):
                with self.subTest(x=x, y=y):
                    want = ramp(band_at(x, length)) if x < length else METER_RGB
                    self.assertEqual(pixel(x, y), want)
        # "50%" in black over the middle of the line, on both the filled and the empty part.
        dark = [x for y in range(2, height - 1) for x in range(width) if sum(pixel(x, y)) < 300]
        self.assertTrue(dark)
        self.assertLess(min(dark), length)
        self.assertGreaterEqual(max(dark), length)
        self.assertIsNone(process.poll())


if __name__ == "__main__":
    unittest.main()
