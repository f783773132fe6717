"""Setup.exe end to end, used as a person uses it: started under Wine against the local install
service, watched, typed into and clicked, its dialogs read and answered.

    python3 tests/e2e/setup_e2e_test.py [TestClass[.test_name] ...]

Environment (scripts/test.sh and the ctest properties set it):
  SETUP_ORIGIN_PROD/UAT/SIT/DIT  the origins baked into the build, whose ports the service serves
  SETUP_BUILD_DIR                the Windows build (Setup.exe, tools/*.exe)
  SETUP_TEST_CA                  the test CA the service's certificate chains to
  SETUP_ARTIFACTS                where screenshots are kept (optional)
  SETUP_STALL_LIMIT_S            the build's stall limit (seconds of silence before a request ends)
  DISPLAY, WINEPREFIX            the X display and the Wine prefix (CA trusted, wineserver running)
"""

import hashlib
import json
import os
import re
import shutil
import subprocess
import sys
import tempfile
import time
import unittest
import urllib.parse

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import harness  # noqa: E402

TITLE = harness.APP_TITLE
# The setup window's own class: its message dialogs carry the same title.
WINDOW_CLASS = "fw.Form"
CLIENT_SIZE = (532, 307)

QUERY_PATH = "/validate/installurl.php?get=url"
QUERY_AGENT = "Mozilla/3.0 (compatible; Indy Library)"
INSTALLER_PATH = "/DOWNLOADS/SETUP-SAMPLE.EXE"
INSTALLER_AGENT = "Setup.exe"
READ_SIZE = 10240
ERROR_PATH_NOT_FOUND = 3
ERROR_SHARING_VIOLATION = 32
ERROR_INTERNET_TIMEOUT = 12002
ERROR_INTERNET_CANNOT_CONNECT = 12029
STALL_LIMIT_S = int(os.environ.get("SETUP_STALL_LIMIT_S", "30"))
# The download's attempts: the first and five retries, each of which may stall.
ATTEMPTS = 6
# The folder Setup makes for the installer in the temporary directory on each run.
INSTALLER_FOLDER = re.compile(r"Setup-[0-9A-F]{16}")

# Controls inside Panel3 lie 2 px further into the window's client area than their own position.
PANEL3_ORIGIN = (2, 2)
CLOSE_BUTTON = (277, 254, 94, 32)
LABEL1_AREA = (19, 42, 420, 15)  # Label1 in the window's client area, wide enough for any count
METER = (18, 66, 498, 10)        # mMeter in the window's client area
METER_BACKGROUND = (0xC9, 0xF8, 0xFC)
HOVER_FILL = (0xD2, 0xE6, 0xEE)

# Generous limits for states to be reached; nothing is asserted about how long they took.
WAIT_S = 60


def origins():
    defaults = {"PROD": 47443, "UAT": 47444, "SIT": 47445, "DIT": 47446}
    return {name: os.environ.get(f"SETUP_ORIGIN_{name}", f"https://localhost:{port}").rstrip("/")
            for name, port in defaults.items()}


def port_of(origin):
    return urllib.parse.urlsplit(origin).port


def centre_of(control):
    left, top, width, height = control
    return PANEL3_ORIGIN[0] + left + width // 2, PANEL3_ORIGIN[1] + top + height // 2


def incomplete_message(expected, received):
    return (f"Error\rDownload was incomplete.\r\rBytes expected: {expected}\r"
            f"Bytes received: {received}")


INCOMPLETE_PATTERN = re.compile(
    r"Error\rDownload was incomplete\.\r\rBytes expected: (-?\d+)\rBytes received: (-?\d+)")


class SetupCase(unittest.TestCase):
    """One run of Setup.exe per test, against a freshly reset service."""

    @classmethod
    def setUpClass(cls):
        if not os.path.isfile(harness.setup_exe()):
            raise AssertionError(f"{harness.setup_exe()} is not built")
        cls.origins = origins()
        cls.service = harness.Service(cls.origins["PROD"])
        cls.temp_path = harness.wine_temp_path()
        cls.temp_dir = harness.wine_temp_dir()
        cls.drive_c = harness.unix_path("C:\\")

    def setUp(self):
        self.workdir = tempfile.mkdtemp(prefix="setup-e2e-")
        self.addCleanup(shutil.rmtree, self.workdir, True)
        self.record = os.path.join(self.workdir, "sample-runs.txt")
        self.env_file = os.path.join(self.drive_c, "KVSENV.INI")
        self.addCleanup(self.remove, self.env_file)
        self.remove(self.env_file)
        # Setup downloads into a new folder of its own in the temporary directory each run; the
        # ones the test's runs made go again afterwards.
        self.earlier_folders = {self.temp_dir: set(self.installer_folders(self.temp_dir))}
        self.addCleanup(self.remove_installer_folders)
        # Registered early so that it runs last: it also reopens a port a test closed.
        self.addCleanup(self.service.reset)
        self.service.reset()
        # The pointer left over a button by an earlier test would colour it.
        harness.xdotool("mousemove", 0, 0)

    @staticmethod
    def remove(path):
        try:
            os.remove(path)
        except FileNotFoundError:
            pass

    # -- the installer's folder -------------------------------------------------------------------

    @staticmethod
    def installer_folders(directory):
        """The names of the installer folders in directory, as Setup names them."""
        try:
            names = os.listdir(directory)
        except FileNotFoundError:
            return []
        return [name for name in names if INSTALLER_FOLDER.fullmatch(name)
                and os.path.isdir(os.path.join(directory, name))]

    def new_installer_folders(self, directory=None):
        """The installer folders this test's runs made in directory (the temporary directory by
        default), the newest last."""
        directory = directory or self.temp_dir
        earlier = self.earlier_folders.setdefault(directory, set())
        new = [name for name in self.installer_folders(directory) if name not in earlier]
        return sorted(new, key=lambda name: os.stat(os.path.join(directory, name)).st_mtime_ns)

    def installer_folder(self, directory=None):
        """The name of the newest folder the test's runs made in directory; None when none."""
        new = self.new_installer_folders(directory)
        return new[-1] if new else None

    @property
    def installer_file(self):
        """Install.exe in the newest folder the test's runs made in the temporary directory (a
        path that does not exist when there is none)."""
        return os.path.join(self.temp_dir, self.installer_folder() or "Setup-none", "Install.exe")

    def installer_path(self, directory_path=None, directory=None):
        """The Windows path of Install.exe in the newest folder the test's runs made."""
        folder = self.installer_folder(directory)
        self.assertIsNotNone(folder, "Setup made no installer folder")
        return f"{directory_path or self.temp_path}\\{folder}\\Install.exe"

    def remove_installer_folders(self):
        for directory in self.earlier_folders:
            for name in self.new_installer_folders(directory):
                shutil.rmtree(os.path.join(directory, name), ignore_errors=True)

    # -- running Setup ----------------------------------------------------------------------------

    def start_setup(self, temp=None, env=None, exe=None):
        """Starts Setup.exe (or exe, a copy of it); with temp, its TEMP and TMP point there (a
        Windows path)."""
        exe = exe or harness.setup_exe()
        env = {"SETUP_SAMPLE_RECORD": harness.windows_path(self.record),
               "SETUP_SAMPLE_SHOW_MS": "0", **(env or {})}
        if temp is None:
            process = harness.wine_start(exe, env=env, output_dir=self.workdir)
        else:
            # Wine sets TEMP and TMP of a process started from Linux from the prefix's registry,
            # whatever the Linux environment says; a Windows parent passes its own on. Wine's cmd
            # waits for the program it starts, so the wine process still lasts as long as Setup.
            command = (f"set TEMP={temp}&& set TMP={temp}&& "
                       f"{harness.windows_path(exe)}")
            process = harness.wine_start("cmd", ["/c", command], env=env, output_dir=self.workdir)
        self.addCleanup(self.end_setup, process)
        return process

    def end_setup(self, process):
        if process.poll() is None:
            # Started through cmd, Setup is a process of its own, found through its window.
            found, info = harness.probe("window", TITLE, timeout_ms=500)
            if found:
                harness.kill_windows_process(info["pid"])
        harness.stop(process)

    def setup_window(self):
        info = harness.window(TITLE, timeout_ms=WAIT_S * 1000, class_name=WINDOW_CLASS)
        self.assertEqual((info["client_w"], info["client_h"]), CLIENT_SIZE)
        return info

    def assert_ended(self, process):
        try:
            process.wait(WAIT_S)
        except subprocess.TimeoutExpired:
            self.fail("Setup did not end")
        self.assertEqual(process.returncode, 0)

    def assert_idle(self, process):
        """Setup waits for the user: no dialog comes up, the program runs, its window is there."""
        self.assertIsNone(harness.no_dialog(TITLE, for_ms=1500))
        self.assertIsNone(process.poll(), "Setup ended")
        self.setup_window()

    # -- what the service saw ---------------------------------------------------------------------

    def requests(self, service=None):
        return [(entry["port"], entry["method"], entry["path"], entry["user_agent"])
                for entry in (service or self.service).log()]

    def query(self, environment="PROD"):
        return (port_of(self.origins[environment]), "GET", QUERY_PATH, QUERY_AGENT)

    def installer_request(self, environment="PROD"):
        return (port_of(self.origins[environment]), "GET", INSTALLER_PATH, INSTALLER_AGENT)

    def wait_for(self, what, predicate, timeout=WAIT_S):
        deadline = time.monotonic() + timeout
        while True:
            value = predicate()
            if value:
                return value
            if time.monotonic() > deadline:
                self.fail(f"gave up waiting for {what}")
            time.sleep(0.1)

    def wait_for_requests(self, count):
        def enough():
            seen = self.requests()
            return seen if len(seen) >= count else None

        return self.wait_for(f"{count} requests", enough)

    # -- dialogs ----------------------------------------------------------------------------------

    def assert_message(self, dialog, text):
        """A message of the program's own: the application title, no icon, one OK button."""
        self.assertEqual((dialog["title"], dialog["text"], dialog["icon"], dialog["buttons"]),
                         (TITLE, text, False, ["OK"]))

    def sample_runs(self):
        """The installer runs recorded so far; a line still being written counts as none yet."""
        try:
            return harness.sample_runs(self.record)
        except ValueError:
            return []

    def read_file(self, path):
        with open(path, "rb") as f:
            return f.read()


class InstallTest(SetupCase):
    """Setup downloads the installer, starts it and ends."""

    def assert_installed(self, process, directory, directory_path):
        """Setup ended after writing Install.exe into a new folder of its own in the directory
        (given both as a Linux and as a Windows path) and starting it from there, with its quoted
        path as the command line and that folder as its current directory."""
        self.assert_ended(process)
        self.assertEqual(self.requests(), [self.query(), self.installer_request()])
        self.assertEqual(len(self.new_installer_folders(directory)), 1)
        folder = self.installer_folder(directory)
        self.assertEqual(self.read_file(os.path.join(directory, folder, "Install.exe")),
                         self.service.installer_bytes())
        # The installer runs on after Setup has ended.
        runs = self.wait_for("the installer's record", self.sample_runs)
        folder_path = f"{directory_path}\\{folder}"
        installer = folder_path + "\\Install.exe"
        self.assertEqual([(run["exe"], run["command_line"], run["cwd"]) for run in runs],
                         [(installer, f'"{installer}"', folder_path)])
        return runs[0]

    def test_downloads_the_installer_into_the_temp_directory_starts_it_and_ends(self):
        process = self.start_setup()
        run = self.assert_installed(process, self.temp_dir, self.temp_path)
        self.assertEqual(run["args"], [])
        # The support log tells the run's story: who, where, each request and how it ended.
        with open(os.path.join(self.temp_dir, "Setup.log"), "rb") as f:
            log = f.read()
        self.assertTrue(log.startswith(b"\xef\xbb\xbf["), log[:20])
        lines = [line.split(b"] ", 1)[1].decode("utf-8") for line in log[3:].split(b"\r\n")
                 if line]
        origin = self.origins["PROD"]
        size = len(self.service.installer_bytes())
        installer_url = (origin + "/downloads/setup-sample.exe").upper()
        self.assertRegex(lines[0], r"^Setup \d+\.\d+\.\d+$")
        for expected in [f"Temporary folder {self.temp_path}\\",
                         f"environment production, base URL {origin}",
                         f"GET {origin}/validate/installurl.php?get=url", "status 200",
                         f"announced: {installer_url} | {size} bytes", f"GET {installer_url}",
                         "installer signature: not checked (a test build, not asked to)",
                         "outcome: ready", "Setup ends"]:
            self.assertIn(expected, lines)
        self.assertTrue(any(re.fullmatch(f"{size} bytes in \\d+ ms", line) for line in lines),
                        lines)

    def test_temp_directory_with_a_space(self):
        directory = os.path.join(self.temp_dir, "with space")
        os.makedirs(directory, exist_ok=True)
        self.addCleanup(shutil.rmtree, directory, True)
        directory_path = self.temp_path + "\\with space"
        process = self.start_setup(temp=directory_path)
        run = self.assert_installed(process, directory, directory_path)
        # Quoted, the path stays the program's own name instead of splitting at the space.
        self.assertEqual(run["args"], [])
        self.assertFalse(os.path.exists(self.installer_file))

    def test_temp_directory_at_a_drive_root(self):
        # The prefix's drive root is shared with later tests: the folder Setup makes there goes
        # again.
        self.earlier_folders[self.drive_c] = set(self.installer_folders(self.drive_c))
        process = self.start_setup(temp="C:\\")
        # "C:\Setup-...\Install.exe", never the drive-relative "C:Setup-...".
        run = self.assert_installed(process, self.drive_c, "C:")
        self.assertEqual(run["args"], [])
        self.assertFalse(os.path.exists(self.installer_file))

    def test_close_during_a_slow_download_still_finishes_and_starts_the_installer(self):
        size = len(self.service.installer_bytes())
        self.assertGreater(size, 2 * 65536, "the installer must take several chunks")
        self.service.installer(chunk_delay_ms=1500)
        process = self.start_setup()
        self.wait_for_requests(2)
        self.wait_for("Install.exe", lambda: os.path.exists(self.installer_file))
        harness.click(self.setup_window(), *centre_of(CLOSE_BUTTON))
        # The click landed while the transfer was still running.
        self.assertLess(os.path.getsize(self.installer_file), size)
        self.assertIsNone(process.poll())
        self.assert_installed(process, self.temp_dir, self.temp_path)


class IdleTest(SetupCase):
    """Setup has nothing to download, or cannot ask, and waits for the user."""

    def test_answer_zero_leaves_the_window_idle_until_close(self):
        self.service.answer(body=b"0")
        process = self.start_setup()
        self.wait_for_requests(1)
        self.assert_idle(process)
        self.assertEqual(self.requests(), [self.query()])
        self.assertFalse(os.path.exists(self.installer_file))
        harness.click(self.setup_window(), *centre_of(CLOSE_BUTTON))
        self.assert_ended(process)
        self.assertEqual(self.sample_runs(), [])

    def test_refused_connection_is_reported_and_the_window_carries_on(self):
        prod = port_of(self.origins["PROD"])
        # The production port is closed through another port of the same service.
        other = harness.Service(self.origins["UAT"])
        other.listen(prod, False)
        self.addCleanup(other.listen, prod, True)
        process = self.start_setup()
        dialog = harness.press(TITLE, timeout_ms=WAIT_S * 1000)
        match = re.fullmatch(r"Not connected: \(InternetOpenURL\) (.*) EC=(\d+)\.", dialog["text"],
                             re.DOTALL)
        self.assertIsNotNone(match, dialog["text"])
        system_text, code = match.groups()
        self.assertEqual(int(code), ERROR_INTERNET_CANNOT_CONNECT)
        # The system's text comes without its trailing blanks, line ends and full stops.
        self.assertEqual(system_text, system_text.rstrip(" \t\r\n."))
        # The default error report: the error icon and one OK button.
        self.assertEqual((dialog["title"], dialog["icon"], dialog["buttons"]),
                         (TITLE, True, ["OK"]))
        self.assert_idle(process)
        self.assertEqual(self.requests(other), [])
        # Once the service is back, typing R asks again.
        other.listen(prod, True)
        self.service.answer(body=b"0")
        harness.key(TITLE, "r", class_name=WINDOW_CLASS)
        self.wait_for_requests(1)
        self.assert_idle(process)
        self.assertEqual(self.requests(), [self.query()])

    def test_uat_in_the_environment_file_asks_the_uat_service_and_shows_the_banner(self):
        with open(self.env_file, "wb") as f:
            f.write(b"[Environment]\r\nServer=  uat  \r\n")
        self.service.answer(body=b"0")
        process = self.start_setup()
        self.wait_for_requests(1)
        self.assert_idle(process)
        self.assertEqual(self.requests(), [self.query("UAT")])
        # The banner blinks: its text is drawn in one phase, and only Panel3's own colour shows in
        # the other (the gradient lies below the banner's strip while the banner is shown).
        info = self.setup_window()
        seen = set()

        def both_phases():
            shot = harness.screenshot(os.path.join(self.workdir, "banner.png"), crop=info)
            _, _, pixel = harness.read_rgb(shot)
            strip = {pixel(x, y) for y in BANNER_ROWS for x in BANNER_COLUMNS}
            phase = ("hidden" if strip == {PANEL3_COLOUR} else
                     "shown" if banner_pixels(shot) > 100 else None)
            if phase and phase not in seen:
                seen.add(phase)
                keep(shot, f"uat-banner-{phase}.png")
            return seen == {"hidden", "shown"}

        self.wait_for("the banner to blink", both_phases)


class DownloadFailureTest(SetupCase):
    """The download fails; Setup says so where it should and waits for the user."""

    def test_installer_not_found_is_silent_and_writes_nothing(self):
        self.service.installer(status=404)
        process = self.start_setup()
        self.wait_for_requests(2)
        self.assert_idle(process)
        self.assertEqual(self.requests(), [self.query(), self.installer_request()])
        # Not even the installer's folder: it is removed again while empty.
        self.assertEqual(self.new_installer_folders(), [])
        self.assertEqual(self.sample_runs(), [])

    def test_r_after_a_failed_download_runs_setup_again(self):
        self.service.installer(status=404)
        process = self.start_setup()
        self.wait_for_requests(2)
        self.assert_idle(process)
        harness.key(TITLE, "r", class_name=WINDOW_CLASS)
        self.wait_for_requests(4)
        self.assert_idle(process)
        self.assertEqual(self.requests(), [self.query(), self.installer_request()] * 2)

    def assert_incomplete(self, process, expected):
        """The incomplete-download message, answered; gives the count it reports as received."""
        dialog = harness.press(TITLE, timeout_ms=WAIT_S * 1000)
        match = INCOMPLETE_PATTERN.fullmatch(dialog["text"])
        self.assertIsNotNone(match, dialog["text"])
        received = int(match.group(2))
        self.assert_message(dialog, incomplete_message(expected, received))
        self.assert_idle(process)
        # The partial file stays, holding exactly what arrived.
        self.assertEqual(self.read_file(self.installer_file),
                         self.service.installer_bytes()[:received])
        self.assertEqual(self.sample_runs(), [])
        return received

    def test_connection_closed_early_reports_both_counts_and_keeps_the_partial_file(self):
        size, cut = 300000, 100000
        self.service.installer(size=size, close_after=cut)
        process = self.start_setup()
        received = self.assert_incomplete(process, size)
        # The service resets the connection only once the peer has acknowledged every byte sent.
        self.assertEqual(received, cut)

    def test_more_bytes_than_announced_stop_after_the_read_that_passes_the_size(self):
        # Odd: the service's TLS records and Setup's reads all have even sizes, so no read can end
        # exactly on it.
        announced = 50001
        self.service.answer(announce=announced)
        process = self.start_setup()
        received = self.assert_incomplete(process, announced)
        self.assertGreater(received, announced)
        self.assertLess(received, announced + READ_SIZE)

    def test_installer_folder_that_cannot_be_made_is_reported_once(self):
        # A temporary directory that does not exist: there is nowhere to make the folder in.
        missing = self.temp_path + "\\no such folder"
        process = self.start_setup(temp=missing)
        dialog = harness.press(TITLE, timeout_ms=WAIT_S * 1000)
        match = re.fullmatch(r"File I/O Error!  Creating File= (.*)  EC=(\d+)", dialog["text"])
        self.assertIsNotNone(match, dialog["text"])
        folder, code = match.groups()
        self.assertRegex(folder, "^" + re.escape(missing + "\\") + INSTALLER_FOLDER.pattern + "$")
        self.assertEqual(int(code), ERROR_PATH_NOT_FOUND)
        # A message of the program's own, as when the file could not be created.
        self.assertEqual((dialog["title"], dialog["icon"], dialog["buttons"]),
                         (TITLE, False, ["OK"]))
        self.assert_idle(process)
        # Without a folder nothing is asked for: the installer is never requested.
        self.assertEqual(self.requests(), [self.query()])
        self.assertEqual(self.sample_runs(), [])


def area_pixels(path, area):
    left, top, width, height = area
    _, _, pixel = harness.read_rgb(path)
    return [pixel(x, y) for y in range(top, top + height) for x in range(left, left + width)]


def meter_percent_shown(path, dpi=96):
    """Which side of 50 % the meter's lit part ends: the pixels at 40 % and 60 % of its width, on
    its middle row, clear of the centred percentage text; the window laid out at dpi."""
    left, top, width, height = (round(v * dpi / 96) for v in METER)
    _, _, pixel = harness.read_rgb(path)
    y = top + height // 2
    return pixel(left + width * 40 // 100, y), pixel(left + width * 60 // 100, y)


class StallTest(SetupCase):
    """A server that goes silent ends the request after the stall limit; the window answers
    throughout and shows what arrived before the silence."""

    def test_paused_download_shows_the_count_before_the_pause_then_ends_incomplete(self):
        size, pause_after = 50000, 25000
        self.service.installer(size=size, pause_after=pause_after, pause_ms=600000)
        process = self.start_setup()
        info = self.setup_window()
        requests = self.wait_for("the installer request", lambda: self.service.log()[1:])
        # The service sends the first 25000 bytes at once and then nothing: within 2 s of the
        # request the window shows that count and 50 %, not the count of an earlier read.
        time.sleep(max(0.0, requests[0]["time"] + 1.0 - time.time()))
        paused = harness.screenshot(os.path.join(self.workdir, "paused.png"), crop=info)
        self.assertLess(time.time(), requests[0]["time"] + 2.0, "the screenshot came too late")
        keep(paused, "download-paused.png")
        lit, unlit = meter_percent_shown(paused)
        self.assertNotEqual(lit, METER_BACKGROUND)
        self.assertEqual(unlit, METER_BACKGROUND)
        self.assertIsNone(process.poll())

        # Then it ends like an early close once every attempt has stalled at the same byte (with
        # room for a loaded machine).
        dialog = harness.press(TITLE, timeout_ms=(STALL_LIMIT_S * ATTEMPTS + 30) * 1000)
        self.assert_message(dialog, incomplete_message(size, pause_after))
        self.assertEqual(self.read_file(self.installer_file),
                         self.service.installer_bytes()[:pause_after])
        self.assert_idle(process)
        # Label1 keeps the last count, the one the message names: during the pause it showed the
        # same text, pixel for pixel.
        idle = harness.screenshot(os.path.join(self.workdir, "idle.png"), crop=info)
        self.assertEqual(area_pixels(paused, LABEL1_AREA), area_pixels(idle, LABEL1_AREA))
        self.assertGreater(len(set(area_pixels(idle, LABEL1_AREA))), 2, "Label1 shows no text")
        # Run Setup works again: the service is back to normal and R installs.
        self.service.reset()
        harness.key(TITLE, "r", class_name=WINDOW_CLASS)
        self.assert_ended(process)
        self.wait_for("the installer's record", self.sample_runs)
        self.assertEqual(self.read_file(self.installer_file), self.service.installer_bytes())

    def test_stalled_query_is_reported_while_the_window_answers_and_r_asks_again(self):
        self.service.answer(delay_ms=600000)
        process = self.start_setup()
        info = self.setup_window()
        self.wait_for_requests(1)
        # While the query waits, the window repaints and follows the pointer: Close takes its
        # hover colour.
        button = (PANEL3_ORIGIN[0] + CLOSE_BUTTON[0], PANEL3_ORIGIN[1] + CLOSE_BUTTON[1],
                  CLOSE_BUTTON[2], CLOSE_BUTTON[3])
        before = harness.screenshot(os.path.join(self.workdir, "before.png"), crop=info)
        harness.move_pointer(info, *centre_of(CLOSE_BUTTON))

        def hovered():
            shot = harness.screenshot(os.path.join(self.workdir, "hover.png"), crop=info)
            return HOVER_FILL in area_pixels(shot, button)

        self.assertNotIn(HOVER_FILL, area_pixels(before, button))
        try:
            self.wait_for("the hover colour during the query", hovered, timeout=STALL_LIMIT_S)
        finally:
            keep(os.path.join(self.workdir, "hover.png"), "query-stalled-hover.png")
        self.assertIsNone(process.poll())
        harness.xdotool("mousemove", 0, 0)
        dialog = harness.press(TITLE, timeout_ms=(STALL_LIMIT_S + 30) * 1000)
        match = re.fullmatch(r"Not connected: \(InternetOpenURL\) (.*) EC=(\d+)\.", dialog["text"],
                             re.DOTALL)
        self.assertIsNotNone(match, dialog["text"])
        self.assertEqual(int(match.group(2)), ERROR_INTERNET_TIMEOUT)
        self.assertEqual((dialog["title"], dialog["icon"], dialog["buttons"]),
                         (TITLE, True, ["OK"]))
        self.assert_idle(process)
        self.service.reset()
        self.service.answer(body=b"0")
        harness.key(TITLE, "r", class_name=WINDOW_CLASS)
        self.wait_for_requests(1)
        self.assert_idle(process)
        self.assertEqual(self.requests(), [self.query()])

    def test_download_without_headers_ends_incomplete_with_nothing_written(self):
        self.service.installer(delay_ms=600000)
        process = self.start_setup()
        dialog = harness.press(TITLE, timeout_ms=(STALL_LIMIT_S * ATTEMPTS + 60) * 1000)
        size = len(self.service.installer_bytes())
        self.assert_message(dialog, incomplete_message(size, 0))
        self.assert_idle(process)
        self.assertFalse(os.path.exists(self.installer_file))
        self.assertEqual(self.sample_runs(), [])


class SafeInstallerTest(SetupCase):
    """Setup runs elevated and starts what it downloaded: only over HTTPS, only a file it created
    itself, and nobody can change that file before it starts."""

    def test_plain_http_is_refused_before_anything_is_written(self):
        http_port = self.service.info()["http_port"]
        plain_url = f"http://localhost:{http_port}/downloads/setup-sample.exe"
        cases = [
            # An answer that names an http:// URL: no request at all.
            ("http installer URL", dict(plain=True), {}, plain_url.upper(), 1),
            # An HTTPS URL that redirects to plain HTTP: refused at the URL the answer came from.
            ("redirect to http", {}, dict(redirect=plain_url), plain_url, None),
        ]
        for name, answer, installer, named_url, request_count in cases:
            with self.subTest(name):
                self.service.reset()
                if answer:
                    self.service.answer(**answer)
                if installer:
                    self.service.installer(**installer)
                process = self.start_setup()
                dialog = harness.press(TITLE, timeout_ms=WAIT_S * 1000)
                self.assert_message(dialog, "Error!  The installer is only downloaded over a "
                                            "secure connection (https).\r\r"
                                            f"Not downloaded from: {named_url}")
                self.assert_idle(process)
                if request_count is not None:
                    self.assertEqual(self.requests(), [self.query()])
                self.assertFalse(os.path.exists(self.installer_file))
                self.assertEqual(self.sample_runs(), [])
                self.end_setup(process)

    def test_names_planted_in_the_temporary_directory_are_left_alone(self):
        # What another program of the user leaves under %TEMP%\Install.exe, a file or a link to
        # a system file, is neither written through nor replaced: the installer goes into a new
        # folder of Setup's own.
        planted = os.path.join(self.temp_dir, "Install.exe")
        for kind, plant in (("hard", os.link), ("symbolic", os.symlink)):
            with self.subTest(kind):
                self.remove(self.record)
                target = os.path.join(self.temp_dir, f"planted-target-{kind}.bin")
                with open(target, "wb") as f:
                    f.write(b"not to be written through")
                self.addCleanup(self.remove, target)
                self.remove(planted)
                plant(target, planted)
                self.addCleanup(self.remove, planted)
                process = self.start_setup()
                self.assert_ended(process)
                runs = self.wait_for("the installer's record", self.sample_runs)
                self.assertEqual([run["exe"] for run in runs], [self.installer_path()])
                self.assertEqual(self.read_file(target), b"not to be written through")
                self.assertEqual(os.path.islink(planted), kind == "symbolic")
                self.assertEqual(self.read_file(self.installer_file),
                                 self.service.installer_bytes())
                # Only Install.exe in its folder: the unique name it was made under is gone.
                self.assertEqual(os.listdir(os.path.dirname(self.installer_file)), ["Install.exe"])

    def test_complete_installer_and_its_folder_cannot_be_changed_before_it_starts(self):
        size = len(self.service.installer_bytes())
        process = self.start_setup(env={"SETUP_TEST_PAUSE_BEFORE_LAUNCH_MS": "6000"})
        self.wait_for("the complete file", lambda: os.path.exists(self.installer_file)
                      and os.path.getsize(self.installer_file) == size)
        self.assertEqual(self.sample_runs(), [])
        installer = self.installer_path()
        folder = installer.rsplit("\\", 1)[0]
        attempts = {}
        for path in (installer, folder):
            result = harness.wine_run(harness.tool_exe("file_access.exe"), [path], timeout=60)
            attempts[path] = json.loads(result.stdout.strip().splitlines()[-1])
        self.assertEqual(self.sample_runs(), [], "the pause ended before the attempts")
        self.assertEqual(attempts[installer], dict(read=0, write=ERROR_SHARING_VIOLATION,
                                                   delete=ERROR_SHARING_VIOLATION,
                                                   rename=ERROR_SHARING_VIOLATION))
        # The folder can be read but neither removed nor renamed (nor re-pointed through a link
        # under its name). Writing into it is what its permissions refuse the user, which only
        # Windows enforces.
        self.assertEqual((attempts[folder]["read"], attempts[folder]["delete"],
                          attempts[folder]["rename"]),
                         (0, ERROR_SHARING_VIOLATION, ERROR_SHARING_VIOLATION))
        self.assert_ended(process)
        runs = self.wait_for("the installer's record", self.sample_runs)
        self.assertEqual([(run["exe"], run["cwd"]) for run in runs], [(installer, folder)])
        self.assertEqual(self.read_file(self.installer_file), self.service.installer_bytes())

    def test_no_temporary_directory_downloads_nothing(self):
        # A TEMP longer than a path may be: the system gives no temporary directory.
        too_long = "C:\\" + "\\".join(["x" * 60] * 5)
        process = self.start_setup(temp=too_long)
        dialog = harness.press(TITLE, timeout_ms=WAIT_S * 1000)
        self.assert_message(dialog, "Error!  The temporary folder cannot be found, so the "
                                    "installer cannot be downloaded.")
        self.assertEqual(self.requests(), [self.query()])
        self.assertFalse(os.path.exists(os.path.join(os.getcwd(), "Install.exe")))
        self.assertEqual(self.sample_runs(), [])


class AnnouncedHashTest(SetupCase):
    """The answer's third field binds the installer to its SHA-256: only that file starts."""

    def support_log_lines(self):
        with open(os.path.join(self.temp_dir, "Setup.log"), "rb") as f:
            return f.read().decode("utf-8", "replace").splitlines()

    def test_the_announced_hash_starts_the_installer(self):
        self.service.answer(sha256="right")
        process = self.start_setup()
        self.assert_ended(process)
        runs = self.wait_for("the installer's record", self.sample_runs)
        self.assertEqual([run["exe"] for run in runs], [self.installer_path()])
        digest = hashlib.sha256(self.service.installer_bytes()).hexdigest().upper()
        log = "\n".join(self.support_log_lines())
        self.assertIn(f" bytes | SHA-256 {digest}", log)
        self.assertIn("installer SHA-256 as announced, made as it was written", log)

    def test_another_hash_refuses_the_installer_and_starts_nothing(self):
        wrong = hashlib.sha256(b"another installer").hexdigest()
        self.service.answer(sha256=wrong)
        process = self.start_setup()
        dialog = harness.press(TITLE, timeout_ms=WAIT_S * 1000)
        self.assert_message(dialog, "Error!  The installer is not the file the service announced, "
                                    "so Setup does not start it.\r\r"
                                    f"It was left for inspection: {self.installer_path()}")
        self.assert_idle(process)
        # Left as it arrived, never started.
        self.assertEqual(self.read_file(self.installer_file), self.service.installer_bytes())
        self.assertEqual(self.sample_runs(), [])
        log = self.support_log_lines()
        self.assertTrue(any(f"is not the announced {wrong.upper()}" in line for line in log), log)
        self.assertTrue(any(line.endswith("outcome: not the announced installer")
                            for line in log), log)

    def test_a_third_field_that_is_no_hash_downloads_nothing(self):
        query_url = self.origins["PROD"] + QUERY_PATH
        for name, text in (("63 digits", "0" * 63), ("not hex", "Z" * 64),
                           ("a prefix", "sha256:" + "0" * 64)):
            with self.subTest(name):
                self.service.reset()
                self.service.answer(sha256=text)
                process = self.start_setup()
                dialog = harness.press(TITLE, timeout_ms=WAIT_S * 1000)
                # The default error report, as for an answer without lines.
                self.assertEqual((dialog["title"], dialog["text"], dialog["icon"]),
                                 (TITLE, f"Error communicating with {query_url}.", True))
                self.assert_idle(process)
                self.assertEqual(self.requests(), [self.query()])
                self.assertEqual(self.new_installer_folders(), [])
                self.assertEqual(self.sample_runs(), [])
                self.end_setup(process)


# -- the idle window's look -----------------------------------------------------------------------

# The backdrop: a pyramid gradient over Panel3's client area, from #303030 at the edges to #616161
# in the centre, in nested rectangles ("rings") of 100 steps.
GRADIENT_ORIGIN = (3, 3)
GRADIENT_SIZE = (528, 444)
RING_STEP = (GRADIENT_SIZE[0] / 200, GRADIENT_SIZE[1] / 200)
START_GREY, END_GREY, RINGS = 0x30, 0x61, 100
# Client points clear of the logo, the labels, the buttons and the waiting bar (and of the
# download labels and meter, hidden while idle), mostly in the upper half.
BACKDROP_POINTS = [(4, 103), (500, 40), (41, 82), (59, 61), (455, 89), (437, 96), (104, 96),
                   (149, 138), (347, 166), (194, 159), (302, 215), (267, 17)]
PANEL3_COLOUR = (START_GREY, START_GREY, START_GREY)
# The strip the environment banner takes at the top of Panel3 when it is shown.
BANNER_ROWS = range(3, 18)
BANNER_COLUMNS = range(3, 529)


def ring_at(x, y, rounding=round):
    """The innermost ring that covers client point (x, y); ring i starts Round(i * step) in from
    each edge."""
    gx, gy = x - GRADIENT_ORIGIN[0], y - GRADIENT_ORIGIN[1]
    found = None
    for i in range(RINGS):
        dx, dy = rounding(i * RING_STEP[0]), rounding(i * RING_STEP[1])
        if dx <= gx < GRADIENT_SIZE[0] - dx and dy <= gy < GRADIENT_SIZE[1] - dy:
            found = i
    return found


def ring_grey(i):
    return START_GREY + i * (END_GREY - START_GREY) / RINGS


def is_unambiguous(x, y):
    """The point lies a pixel or more inside its ring, whichever way halves round, and its grey
    level is no near tie."""
    ring = ring_at(x, y)
    around = {ring_at(x + dx, y + dy) for dx in (-1, 0, 1) for dy in (-1, 0, 1)}
    half_up = ring_at(x, y, lambda v: int(v + 0.5))
    return around == {ring} and half_up == ring and abs(ring_grey(ring) % 1 - 0.5) > 0.05


def keep(path, name):
    """Copies a screenshot into SETUP_ARTIFACTS, when given, under that name."""
    directory = os.environ.get("SETUP_ARTIFACTS")
    if directory:
        os.makedirs(directory, exist_ok=True)
        shutil.copyfile(path, os.path.join(directory, name))


def banner_pixels(path):
    """Pixels in the banner strip that the grey backdrop cannot have: coloured or darker than it."""
    _, _, pixel = harness.read_rgb(path)
    count = 0
    for y in BANNER_ROWS:
        for x in BANNER_COLUMNS:
            r, g, b = pixel(x, y)
            count += not (r == g == b) or max(r, g, b) < START_GREY
    return count


class IdleWindowScreenshotTest(SetupCase):
    def test_idle_window_shows_the_gradient_backdrop_and_no_banner(self):
        self.service.answer(body=b"0")
        process = self.start_setup()
        self.wait_for_requests(1)
        self.assert_idle(process)
        shot = harness.screenshot(os.path.join(self.workdir, "idle.png"), crop=self.setup_window())
        keep(shot, "idle-window.png")
        width, height, pixel = harness.read_rgb(shot)
        self.assertEqual((width, height), CLIENT_SIZE)
        for x, y in BACKDROP_POINTS:
            with self.subTest(point=(x, y)):
                self.assertTrue(is_unambiguous(x, y), "pick another point")
                grey = round(ring_grey(ring_at(x, y)))
                self.assertEqual(pixel(x, y), (grey, grey, grey))
        self.assertEqual(banner_pixels(shot), 0)


# -- hover colours of the shape buttons -----------------------------------------------------------

CONTACT_BUTTON = (159, 254, 94, 32)
IDLE_CENTRE = (0x80, 0x80, 0x80)
HOVER_CENTRE = (0xD2, 0xE6, 0xEE)


def mul_div(a, b, c):
    """The platform's MulDiv: rounded to nearest, halves away from zero."""
    q, r = divmod(abs(a * b), abs(c))
    q += 2 * r >= abs(c)
    return q if (a * b >= 0) == (c > 0) else -q


def ramp_colour(centre, i, count=16):
    """Colour i of the button's elliptic ramp from the centre colour to black."""
    return tuple(channel + mul_div(i, -channel, count - 1) for channel in centre)


# Points of the Contact face, relative to the button, left and right of the caption, that lie in
# ring 9 of the elliptic fill: inside its ellipse of radii 42 x 14, outside ring 8's 38 x 13.
FACE_POINTS = [(7, 16), (87, 16)]
FACE_RING = 9


class ButtonHoverTest(SetupCase):
    def face_colours(self, info, name):
        shot = harness.screenshot(os.path.join(self.workdir, name), crop=info)
        _, _, pixel = harness.read_rgb(shot)
        left = PANEL3_ORIGIN[0] + CONTACT_BUTTON[0]
        top = PANEL3_ORIGIN[1] + CONTACT_BUTTON[1]
        return [pixel(left + x, top + y) for x, y in FACE_POINTS], pixel(left, top)

    def wait_for_face(self, info, centre, name):
        expected = [ramp_colour(centre, FACE_RING)] * len(FACE_POINTS)
        seen = []

        def shows():
            seen[:] = [self.face_colours(info, name)]
            return seen[0][0] == expected

        try:
            self.wait_for(f"the face of {centre}", shows)
        except AssertionError:
            keep(os.path.join(self.workdir, name), "contact-" + name)
            self.fail(f"the face shows {seen[0][0]}, not {expected}")
        return seen[0]

    def test_pointer_over_contact_into_its_corner_and_away(self):
        self.service.answer(body=b"0")
        process = self.start_setup()
        self.wait_for_requests(1)
        self.assert_idle(process)
        info = self.setup_window()
        left = PANEL3_ORIGIN[0] + CONTACT_BUTTON[0]
        top = PANEL3_ORIGIN[1] + CONTACT_BUTTON[1]
        _, corner_before = self.wait_for_face(info, IDLE_CENTRE, "idle.png")

        harness.move_pointer(info, *centre_of(CONTACT_BUTTON))
        self.wait_for_face(info, HOVER_CENTRE, "hover.png")
        # Into the corner: still inside the button's rectangle, outside its rounded shape. Nothing
        # fires there, so the hover colours stay; the corner still shows the backdrop.
        harness.move_pointer(info, left + 1, top + 1)
        time.sleep(1)
        face, corner = self.face_colours(info, "corner.png")
        keep(os.path.join(self.workdir, "corner.png"), "contact-hover-corner.png")
        self.assertEqual(face, [ramp_colour(HOVER_CENTRE, FACE_RING)] * len(FACE_POINTS))
        self.assertEqual(corner, corner_before)
        # Away from the button: the idle colours again.
        harness.move_pointer(info, 10, 120)
        self.wait_for_face(info, IDLE_CENTRE, "away.png")


class ConnectionStateTest(SetupCase):
    """The system's word on the connection decides only how a query that cannot connect reads."""

    # The system says "not connected" (a test seam: Wine's own answer cannot be changed).
    OFFLINE = {"SETUP_TEST_REPORT_OFFLINE": "1"}

    def test_system_saying_not_connected_still_asks_the_service_and_installs(self):
        process = self.start_setup(env=self.OFFLINE)
        self.assert_ended(process)
        self.assertEqual(self.requests(), [self.query(), self.installer_request()])
        self.assertEqual(self.read_file(self.installer_file), self.service.installer_bytes())
        self.assertEqual(len(self.wait_for("the installer's record", self.sample_runs)), 1)

    def test_not_connected_and_no_answer_reads_connection_not_found_and_ends(self):
        prod = port_of(self.origins["PROD"])
        other = harness.Service(self.origins["UAT"])
        other.listen(prod, False)
        self.addCleanup(other.listen, prod, True)
        process = self.start_setup(env=self.OFFLINE)
        self.assert_message(harness.press(TITLE, timeout_ms=WAIT_S * 1000),
                            "Error!  Internet connection not found.")
        self.assert_ended(process)
        self.assertEqual(self.sample_runs(), [])


if __name__ == "__main__":
    unittest.main()
