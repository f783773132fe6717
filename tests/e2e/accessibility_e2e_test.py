"""Setup.exe with a screen reader and the keyboard, end to end under Wine: a small accessibility
client (accessibility_probe.exe) reads the window as a screen reader does, and keys are typed as a
keyboard-only user types them.

    python3 tests/e2e/accessibility_e2e_test.py [TestClass[.test_name] ...]

Environment: as tests/e2e/setup_e2e_test.py.
"""

import json
import os
import subprocess
import sys
import time
import unittest

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import harness  # noqa: E402
from setup_e2e_test import (PANEL3_ORIGIN, TITLE, WAIT_S, WINDOW_CLASS, SetupCase,  # noqa: E402
                            keep)

# The platform's role and state constants (oleacc.h).
ROLE_CLIENT, ROLE_GRAPHIC, ROLE_TEXT, ROLE_BUTTON, ROLE_PROGRESS = 0x0A, 0x28, 0x29, 0x2B, 0x30
STATE_UNAVAILABLE, STATE_FOCUSED = 0x1, 0x4
STATE_INVISIBLE, STATE_FOCUSABLE = 0x8000, 0x100000
E_FAIL = -2147467259  # 0x80004005 as the signed HRESULT the probe prints

# Panel3 positions of the two buttons a person sees, and their place in the client area.
CONTACT = (159, 254, 94, 32)
CLOSE = (277, 254, 94, 32)


def client_rect(control):
    left, top, width, height = control
    return [PANEL3_ORIGIN[0] + left, PANEL3_ORIGIN[1] + top, width, height]


def probe(*args, timeout_s=60):
    """Runs accessibility_probe.exe; returns (exit code, the JSON lines it printed)."""
    result = harness.wine_run(harness.tool_exe("accessibility_probe.exe"), args, timeout=timeout_s)
    lines = [json.loads(line) for line in result.stdout.splitlines() if line.strip()]
    return result.returncode, lines


def read_tree():
    code, lines = probe("tree", TITLE, "--timeout-ms", WAIT_S * 1000)
    if code != 0 or not lines:
        raise AssertionError(f"no accessible tree (exit code {code})")
    return lines[-1]


def shown(tree):
    """(role, name) of the children a person perceives now, in the order the tree gives."""
    return [(c["role"], c["name"]) for c in tree["children"] if not c["state"] & STATE_INVISIBLE]


def child(tree, name):
    found = [c for c in tree["children"] if c["name"] == name]
    if len(found) != 1:
        raise AssertionError(f"{len(found)} children named {name!r} in {tree}")
    return found[0]


class AccessibleTreeTest(SetupCase):
    """What a screen reader finds in the window, and what it can do there."""

    def start_idle(self):
        self.service.answer(body=b"0")
        process = self.start_setup()
        self.wait_for_requests(1)
        self.assert_idle(process)
        return process

    def test_idle_window_reads_logo_brand_waiting_bar_contact_and_close(self):
        process = self.start_idle()
        tree = read_tree()
        self.assertEqual((tree["role"], tree["name"]), (ROLE_CLIENT, TITLE))
        self.assertEqual(shown(tree), [
            (ROLE_GRAPHIC, "Ostrevo Software logo"),
            (ROLE_TEXT, "OSTREVO"),
            (ROLE_TEXT, "SOFTWARE"),
            (ROLE_PROGRESS, "Working"),
            (ROLE_BUTTON, "Contact"),
            (ROLE_BUTTON, "Close"),
        ])
        for name, rect in (("Contact", CONTACT), ("Close", CLOSE)):
            with self.subTest(button=name):
                button = child(tree, name)
                self.assertEqual(button["location"], client_rect(rect))
                self.assertEqual(button["action"], "Press")
                self.assertEqual(button["state"] & (STATE_FOCUSABLE | STATE_UNAVAILABLE),
                                 STATE_FOCUSABLE)
        # The download's texts and meter are there but hidden; the Run Setup button above the
        # window's top edge is not perceived at all.
        for name in ("Downloading...", "Download progress"):
            self.assertTrue(child(tree, name)["state"] & STATE_INVISIBLE, name)
        self.assertNotIn("Run Setup", [c["name"] for c in tree["children"]])
        # The hidden push button holds the keyboard focus, not one of the windowless controls.
        self.assertIsNone(tree["focus"])
        # Hit testing finds the control under a point, and the client itself between controls;
        # so does a screen reader that starts from the window there (a panel, or the waiting
        # bar's own window).
        for (x, y), role, name in (((CONTACT[0] + 47, CONTACT[1] + 16), ROLE_BUTTON, "Contact"),
                                   ((CLOSE[0] + 5, CLOSE[1] + 16), ROLE_BUTTON, "Close"),
                                   ((185 + 80, 230 + 2), ROLE_PROGRESS, "Working"),
                                   ((40, 150), ROLE_CLIENT, TITLE)):
            for command in ("hit", "point"):
                with self.subTest(command=command, point=(x, y)):
                    code, lines = probe(command, TITLE, "--x", PANEL3_ORIGIN[0] + x,
                                        "--y", PANEL3_ORIGIN[1] + y)
                    self.assertEqual(code, 0)
                    self.assertEqual(lines[-1]["name"], name)
                    if command == "point":
                        self.assertEqual(lines[-1]["role"], role)
        self.assertIsNone(process.poll())

    def test_environment_banner_reads_first(self):
        with open(self.env_file, "wb") as f:
            f.write(b"[Environment]\r\nServer=sit\r\n")
        self.start_idle()
        tree = read_tree()
        banner = "\u2022" * 20 + "<SIT ENVIRONMENT>" + "\u2022" * 19
        self.assertEqual(shown(tree)[0], (ROLE_TEXT, banner))
        self.assertEqual(child(tree, banner)["location"], [3, 3, 528, 15])

    def test_close_default_action_ends_the_program(self):
        process = self.start_idle()
        code, _ = probe("invoke", TITLE, "--name", "Close")
        self.assertEqual(code, 0)
        self.assert_ended(process)

    def test_while_a_message_is_up_contact_and_close_are_unavailable_and_cannot_be_pressed(self):
        # An answer that names an http:// URL is refused with a message; the window waits under it.
        self.service.answer(plain=True)
        process = self.start_setup()
        harness.wait_dialog(TITLE, timeout_ms=WAIT_S * 1000)
        tree = read_tree()
        for name in ("Contact", "Close"):
            self.assertTrue(child(tree, name)["state"] & STATE_UNAVAILABLE, name)
        code, lines = probe("invoke", TITLE, "--name", "Close")
        self.assertEqual((code, lines[-1]["hr"]), (1, E_FAIL))
        harness.press(TITLE, timeout_ms=WAIT_S * 1000)
        # Nothing was kept for after the message: Setup still runs, and Close works again.
        self.assert_idle(process)
        self.assertFalse(child(read_tree(), "Close")["state"] & STATE_UNAVAILABLE)
        code, _ = probe("invoke", TITLE, "--name", "Close")
        self.assertEqual(code, 0)
        self.assert_ended(process)

    def test_download_paused_at_half_reads_the_meter_and_the_count_with_their_events(self):
        # The service sends half the installer, then holds the rest back: the download waits
        # with the meter at 50 %, and the window keeps answering.
        size, half = 2 * 65536, 65536
        self.service.installer(size=size, pause_after=half, pause_ms=600000)
        events = harness.wine_start(harness.tool_exe("accessibility_probe.exe"),
                                    ["events", TITLE, "--for-ms", WAIT_S * 1000,
                                     "--until-value", "50%"], output_dir=self.workdir)
        self.addCleanup(harness.stop, events)
        self.wait_for("the event listener", lambda: "ready" in harness.read_output(
            events.stdout_path))
        process = self.start_setup()
        count_text = f"{half}/{size} bytes downloaded.  Please wait..."

        expected = [(ROLE_TEXT, "Downloading..."), (ROLE_TEXT, count_text),
                    (ROLE_PROGRESS, "Download progress")]

        # The client reads one property at a time while the window runs on: a tree read as the
        # download starts can mix moments, so wait for one read wholly during the pause.
        def paused():
            tree = read_tree()
            return tree if child(tree, "Download progress")["value"] == "50%" else None

        self.wait_for("the meter at 50 %", paused)
        tree = read_tree()
        self.assertEqual(shown(tree)[:3], expected)
        self.assertEqual(child(tree, "Download progress")["value"], "50%")
        self.assertIsNone(process.poll())

        # The meter's value changes were announced while the bytes came in, the last one 50 %.
        try:
            events.wait(WAIT_S)
        except subprocess.TimeoutExpired:
            self.fail("the 50 % value change was never announced")
        self.assertEqual(events.returncode, 0)
        lines = [json.loads(line) for line in
                 harness.read_output(events.stdout_path).splitlines()[1:] if line.strip()]
        values = [e["value"] for e in lines if e["event"] == "value"]
        self.assertTrue(values, lines)
        self.assertEqual({e["name"] for e in lines if e["event"] == "value"},
                         {"Download progress"})
        self.assertEqual(values[-1], "50%")
        percents = [int(v.rstrip("%")) for v in values]
        self.assertEqual(percents, sorted(percents))
        # The meter was shown, and the count label named, before the values came.
        self.assertIn(("show", "Download progress"), [(e["event"], e["name"]) for e in lines])
        self.assertTrue([e for e in lines if e["event"] == "name"
                         and e["name"].endswith(" bytes downloaded.  Please wait...")], lines)


# -- the keyboard ---------------------------------------------------------------------------------

# Where winebrowser (the shell's handler of https URLs under Wine) looks for a browser to start.
BROWSER_KEY = "HKCU\\Software\\Wine\\WineBrowser"


class KeyboardTest(SetupCase):
    """A keyboard-only user reaches Contact and Close; a mouse user sees no change."""

    def start_idle(self, env=None):
        self.service.answer(body=b"0")
        process = self.start_setup(env=env)
        self.wait_for_requests(1)
        self.assert_idle(process)
        return process

    def keys(self, *keys):
        harness.key(TITLE, *keys, class_name=WINDOW_CLASS)

    def wait_for_focus(self, name):
        """The tree once the named button has the focus (typed keys arrive a moment later)."""
        def focused():
            tree = read_tree()
            return tree if tree["focus"] == child(tree, name)["id"] else None

        tree = self.wait_for(f"the focus on {name}", focused)
        self.assertTrue(child(tree, name)["state"] & STATE_FOCUSED)
        return tree

    def test_tab_tab_space_presses_close(self):
        process = self.start_idle()
        self.keys("Tab")
        self.wait_for_focus("Contact")
        self.keys("Tab")
        self.wait_for_focus("Close")
        self.assertIsNone(process.poll())
        self.keys("space")
        self.assert_ended(process)

    def test_shift_tab_goes_round_to_close_and_enter_presses_it(self):
        process = self.start_idle()
        self.keys("shift+Tab")
        self.wait_for_focus("Close")
        self.keys("Return")
        self.assert_ended(process)

    def test_escape_closes(self):
        process = self.start_idle()
        self.keys("Escape")
        self.assert_ended(process)

    def open_contact(self, env=None):
        """Tab, Enter on Contact; gives what the browser was asked to open, and who started it."""
        # The shell opens https URLs with winebrowser, which starts the first browser it finds in
        # this list: a script that records what it was asked to open and the directory it runs
        # in. A program inherits its starter's working directory: Setup's is this test's, that of
        # Wine's desktop process the system directory. (The desktop process is started by the
        # first program that needs it, with that program's environment: the environment would
        # not tell them apart.)
        record = os.path.join(self.workdir, "opened.txt")
        browser = os.path.join(self.workdir, "browser.sh")
        with open(browser, "w") as f:
            f.write(f'#!/bin/sh\nprintf "%s\\n%s\\n" "$1" "$(pwd -P)" >> "{record}"\n')
        os.chmod(browser, 0o755)
        harness.wine_run("reg", ["add", BROWSER_KEY, "/v", "Browsers", "/d", browser, "/f"])
        self.addCleanup(harness.wine_run, "reg", ["delete", BROWSER_KEY, "/v", "Browsers", "/f"])
        process = self.start_idle(env=env)
        self.keys("Tab", "Return")

        def recorded():
            if not os.path.exists(record):
                return None
            with open(record) as f:
                return f.read() or None

        lines = self.wait_for("the contact page to be opened", recorded).splitlines()
        # Contact leaves the window as it was, its focus included.
        self.assert_idle(process)
        self.wait_for_focus("Contact")
        starters = {os.path.realpath(harness.unix_path("C:\\windows\\system32")): "the desktop",
                    os.path.realpath(os.getcwd()): "Setup"}
        return [f"{url} from {starters.get(directory, directory)}"
                for url, directory in zip(lines[::2], lines[1::2])]

    def test_tab_enter_on_contact_opens_the_contact_page_from_the_desktop(self):
        # Wine's desktop (explorer.exe) gives Setup its shell's automation object: the browser is
        # started there, without Setup's rights.
        self.assertEqual(self.open_contact(),
                         [self.origins["PROD"] + "/about-us/contact from the desktop"])

    def hold_desktop(self):
        """Makes sure Wine's desktop process runs, started by a program of the test's, and keeps it
        running to the end of the test."""
        holder = harness.wine_start(harness.tool_exe("accessibility_probe.exe"),
                                    ["events", "No such window", "--for-ms", 600000],
                                    output_dir=self.workdir)
        self.addCleanup(harness.stop, holder)
        self.wait_for("the desktop's holder", lambda: "ready" in harness.read_output(
            holder.stdout_path))
        # Looking for a window needs the desktop: it is up once this returns.
        harness.probe("window", "No such window", timeout_ms=0)

    def test_contact_opens_the_page_itself_when_the_desktop_shell_is_out_of_reach(self):
        # Without Wine's proxies of the shell's interfaces Setup cannot reach the desktop's shell
        # (as on a machine without Explorer): it opens the page as before, from its own process.
        # Were Setup the program that starts the desktop process, that process would lack the
        # proxies too, and so would every later test's desktop shell.
        self.hold_desktop()
        overrides = os.environ.get("WINEDLLOVERRIDES", "")
        env = {"WINEDLLOVERRIDES": (overrides + ";" if overrides else "") + "actxprxy="}
        self.assertEqual(self.open_contact(env),
                         [self.origins["PROD"] + "/about-us/contact from Setup"])

    def test_space_before_any_tab_still_runs_setup(self):
        process = self.start_idle()
        self.keys("space")
        self.wait_for_requests(2)
        self.assert_idle(process)

    def settled_shot(self, info, name):
        """The client area once two screenshots in a row agree: the waiting bar has run its
        course and the last repaint has landed. Gives (path, pixel)."""
        previous = None
        for i in range(100):
            path = harness.screenshot(os.path.join(self.workdir, f"{name}-{i}.png"), crop=info)
            width, height, pixel = harness.read_rgb(path)
            pixels = [pixel(x, y) for y in range(height) for x in range(width)]
            if pixels == previous:
                return path, pixel
            previous = pixels
            time.sleep(0.2)
        self.fail(f"the window never settled for {name}")

    def test_focus_cue_shows_only_once_the_keyboard_is_used(self):
        process = self.start_idle()
        info = self.setup_window()
        _, before = self.settled_shot(info, "before")
        # A mouse user: activating the window and pointing at nothing changes no pixel.
        harness.activate(TITLE, class_name=WINDOW_CLASS)
        harness.xdotool("mousemove", 0, 0)
        _, clicked = self.settled_shot(info, "clicked")
        width, height = info["client_w"], info["client_h"]
        self.assertEqual([(x, y) for y in range(height) for x in range(width)
                          if before(x, y) != clicked(x, y)], [])
        # The first Tab draws the cue inside Contact, and nowhere else.
        self.keys("Tab")
        self.wait_for_focus("Contact")
        shot, after = self.settled_shot(info, "tab")
        keep(shot, "keyboard-focus-contact.png")
        left, top, w, h = client_rect(CONTACT)
        changed = [(x, y) for y in range(height) for x in range(width)
                   if before(x, y) != after(x, y)]
        self.assertTrue(changed)
        self.assertTrue(all(left <= x < left + w and top <= y < top + h for x, y in changed),
                        changed[:10])
        # A dotted outline four pixels inside the button, in the caption's white.
        outline = [(x, top + 4) for x in range(left + 4, left + w - 5, 2)]
        self.assertEqual({after(x, y) for x, y in outline}, {(255, 255, 255)})
        self.assertIsNone(process.poll())


if __name__ == "__main__":
    unittest.main()
