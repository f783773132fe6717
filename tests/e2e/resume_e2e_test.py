"""Setup.exe tries again by itself when the download ends early or the service is busy: it asks
for the rest of the same version (Range with If-Range), waits as the service asks (Retry-After),
and gives up with the incomplete-download message only after its last attempt.

    python3 tests/e2e/resume_e2e_test.py [TestClass[.test_name] ...]

Environment: as tests/e2e/setup_e2e_test.py. The retries' back-off is shortened through the test
builds' seam (harness: SETUP_TEST_RETRY_UNIT_MS).
"""

import os
import re
import sys
import unittest

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import harness  # noqa: E402
from setup_e2e_test import (ATTEMPTS, CLOSE_BUTTON, INSTALLER_PATH, TITLE,  # noqa: E402
                            WAIT_S, SetupCase, centre_of, incomplete_message)


class ResumeTest(SetupCase):
    """The service cuts or refuses the first attempts; nobody presses a key or clicks."""

    def installer_requests(self):
        """(status, Range, If-Range) of each installer request the service answered."""
        return [(entry.get("status"), entry["range"], entry["if_range"])
                for entry in self.service.log() if entry["path"] == INSTALLER_PATH]

    def etag(self):
        """The installer's ETag as the service sends it; the service is reset afterwards."""
        _, headers, _ = self.service.get(INSTALLER_PATH)
        self.service.reset()
        return headers["ETag"]

    def support_log(self):
        with open(os.path.join(self.temp_dir, "Setup.log"), "rb") as f:
            log = f.read()[3:]
        return [line.split(b"] ", 1)[1].decode("utf-8") for line in log.split(b"\r\n") if line]

    def assert_started_exact(self, process):
        self.assert_ended(process)
        self.assertEqual(self.read_file(self.installer_file), self.service.installer_bytes())
        runs = self.wait_for("the installer's record", self.sample_runs)
        self.assertEqual([run["exe"] for run in runs], [self.installer_path()])

    def test_cut_at_half_continues_with_the_rest_and_starts_the_exact_installer(self):
        etag = self.etag()
        size = len(self.service.installer_bytes())
        half = size // 2
        self.service.installer(close_after=half, cut_times=1)
        # The announced hash is made while the two parts are written, not read back.
        self.service.answer(sha256="right")
        process = self.start_setup()
        self.assert_started_exact(process)
        self.assertEqual(self.installer_requests(),
                         [(200, None, None), (206, f"bytes={half}-", etag)])
        log = self.support_log()
        self.assertIn("installer SHA-256 as announced, made as it was written", log)
        self.assertIn(f"answer 206 bytes {half}-{size - 1}/{size}, ETag {etag}: appended", log)
        self.assertTrue(any(re.fullmatch(r"retry 1 of 5 in \d+ ms: the (data ended early|read "
                                         r"failed)", line) for line in log), log)

    def test_a_start_over_hashes_only_the_new_file(self):
        size = len(self.service.installer_bytes())
        # Without a validator the second attempt starts the file over from its first byte.
        self.service.installer(close_after=size // 2, cut_times=1, validators="none")
        self.service.answer(sha256="right")
        process = self.start_setup()
        self.assert_started_exact(process)
        self.assertEqual(self.installer_requests(), [(200, None, None), (200, None, None)])
        self.assertIn("installer SHA-256 as announced, made as it was written",
                      self.support_log())

    def test_busy_service_is_asked_again_after_its_retry_after(self):
        self.service.installer(busy=2, retry_after="1")
        process = self.start_setup()
        self.assert_started_exact(process)
        self.assertEqual(self.installer_requests(),
                         [(503, None, None), (503, None, None), (200, None, None)])
        # Each wait is the service's second, not the test build's shortened schedule.
        waits = [int(match.group(1)) for line in self.support_log()
                 if (match := re.fullmatch(r"retry \d of 5 in (\d+) ms: status 503, "
                                           r"Retry-After 1", line))]
        self.assertEqual(len(waits), 2)
        self.assertTrue(all(wait >= 1000 for wait in waits), waits)

    def test_every_attempt_cut_ends_incomplete_after_six_requests_with_the_part_kept(self):
        etag = self.etag()
        size, cut = len(self.service.installer_bytes()), 100000
        self.service.installer(close_after=cut)
        process = self.start_setup()
        dialog = harness.press(TITLE, timeout_ms=WAIT_S * 1000)
        self.assert_message(dialog, incomplete_message(size, cut))
        self.assert_idle(process)
        self.assertEqual(self.installer_requests(),
                         [(200, None, None)] + [(206, f"bytes={cut}-", etag)] * (ATTEMPTS - 1))
        self.assertEqual(self.read_file(self.installer_file),
                         self.service.installer_bytes()[:cut])
        self.assertEqual(self.sample_runs(), [])

    def test_closing_the_window_ends_the_wait_before_a_retry(self):
        # A minute's wait after the first answer: only the close can end it early.
        self.service.installer(busy=ATTEMPTS, retry_after="60")
        process = self.start_setup()
        info = self.setup_window()
        self.wait_for("the busy answer", self.installer_requests)
        harness.click(info, *centre_of(CLOSE_BUTTON))
        self.assert_ended(process)
        self.assertEqual(self.installer_requests(), [(503, None, None)])
        self.assertIn("window closed: no more attempts", self.support_log())
        self.assertFalse(os.path.exists(self.installer_file))


if __name__ == "__main__":
    unittest.main()
