"""Setup.exe end to end against the parts a customer's machine really meets: nginx as the maker's
web server (the answer and the installer as static files, the installer handed on to a CDN by a
redirect), the same server with a certificate from a CA the machine does not trust, and squid as a
company's proxy that asks for a sign-in.

    python3 tests/e2e/network_e2e_test.py [TestClass[.test_name] ...]

nginx takes the DIT origin's port for each test: the local service closes that port meanwhile and
opens it again afterwards, and C:\\KVSENV.INI selects DIT. The CDN listens on the production
origin's port + 7, squid on + 8. Their configurations, logs and document root are generated into
SETUP_BUILD_DIR (nginx/, squid/) by scripts/wine-env.sh.

Environment: as tests/e2e/setup_e2e_test.py.
"""

import fcntl
import http.client
import os
import re
import shutil
import socket
import ssl
import struct
import sys
import tempfile
import threading
import time
import unittest

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import harness  # noqa: E402
from setup_e2e_test import (QUERY_AGENT, TITLE, WAIT_S, WINDOW_CLASS, SetupCase,  # noqa: E402
                            port_of)

ANSWER_PATH = "/validate/installurl.php?get=url"
INSTALLER_PATH = "/DOWNLOADS/SETUP-SAMPLE.EXE"
INSTALLER_AGENT = "Setup.exe"
CDN_OFFSET, PROXY_OFFSET, RELAY_OFFSET = 7, 8, 9
# The log format scripts/wine-env.sh gives nginx: port, request line, status, bytes, user agent.
NGINX_LOG_LINE = re.compile(r'(\d+) "(.*)" (\d+) \d+ "(.*)"')

ERROR_INTERNET_INVALID_CA = 12045
PROXY_USER, PROXY_PASSWORD = "setupuser", "Proxy-Pass 7"
INTERNET_SETTINGS = r"HKCU\Software\Microsoft\Windows\CurrentVersion\Internet Settings"
SIGN_IN_TITLE = "Enter Network Password"
PROXY_SIGN_IN_REFUSED = ("Error!  The proxy server requires a sign-in. Setup cannot connect "
                         "without it.")


def sample_installer():
    return harness.tool_exe("sample_installer.exe")


class CuttingRelay:
    """A TCP relay in front of a server for the length of a with-block: TLS passes through it
    untouched, and the first connection is dropped with a reset once `cut` bytes of the server's
    side have reached the client, like a line that fails."""

    SIOCOUTQ = 0x5411  # Linux: bytes sent but not yet acknowledged

    def __init__(self, port, target_port, cut):
        self.port, self.target_port, self.cut = port, target_port, cut
        self.connections = 0

    def __enter__(self):
        self.listener = socket.create_server(("127.0.0.1", self.port))
        threading.Thread(target=self.accept, daemon=True).start()
        return self

    def __exit__(self, *exc):
        self.listener.close()
        return False

    def accept(self):
        while True:
            try:
                client, _ = self.listener.accept()
            except OSError:
                return
            server = socket.create_connection(("127.0.0.1", self.target_port))
            limit = self.cut if self.connections == 0 else None
            self.connections += 1
            threading.Thread(target=self.pipe, args=(client, server, None), daemon=True).start()
            threading.Thread(target=self.pipe, args=(server, client, limit), daemon=True).start()

    def pipe(self, source, target, limit):
        sent = 0
        try:
            while data := source.recv(65536):
                if limit is not None and sent + len(data) >= limit:
                    target.sendall(data[:limit - sent])
                    # Once the client has every byte sent, a reset and no TLS close_notify.
                    for _ in range(3000):
                        if struct.unpack("i", fcntl.ioctl(target.fileno(), self.SIOCOUTQ,
                                                          b"\0" * 4))[0] == 0:
                            break
                        time.sleep(0.01)
                    target.setsockopt(socket.SOL_SOCKET, socket.SO_LINGER, struct.pack("ii", 1, 0))
                    break
                target.sendall(data)
                sent += len(data)
        except OSError:
            pass
        finally:
            source.close()
            target.close()


class NetworkCase(SetupCase):
    """Setup in the DIT environment, whose port nginx serves for the length of each test."""

    @classmethod
    def setUpClass(cls):
        super().setUpClass()
        cls.dit_port = port_of(cls.origins["DIT"])
        cls.cdn_port = port_of(cls.origins["PROD"]) + CDN_OFFSET
        cls.proxy_port = port_of(cls.origins["PROD"]) + PROXY_OFFSET
        cls.nginx_dir = os.path.join(harness.build_dir(), "nginx")
        cls.squid_dir = os.path.join(harness.build_dir(), "squid")
        cls.certs = os.path.dirname(os.environ["SETUP_TEST_CA"])
        with open(sample_installer(), "rb") as f:
            cls.installer_bytes = f.read()

    def setUp(self):
        super().setUp()
        with open(self.env_file, "wb") as f:
            f.write(b"[Environment]\r\nServer=DIT\r\n")
        # The service reopens the port when the test ends (its reset), after nginx has let go.
        self.service.listen(self.dit_port, False)
        self.start_servers(["setup_start_nginx", self.nginx_dir, self.certs, sample_installer(),
                            self.dit_port, self.cdn_port])

    def start_servers(self, *calls):
        log_path = os.path.join(self.workdir, f"{calls[0][0]}.log")
        self.enterContext(harness.ScriptServers(*calls, log_path=log_path))

    # -- what the servers saw ---------------------------------------------------------------------

    def nginx_log(self):
        """(port, request line, status, user agent) of every request nginx answered."""
        entries = []
        with open(os.path.join(self.nginx_dir, "access.log"), encoding="latin-1") as f:
            for line in f:
                match = NGINX_LOG_LINE.fullmatch(line.rstrip("\n"))
                self.assertIsNotNone(match, f"not nginx's log format: {line!r}")
                port, request, status, agent = match.groups()
                entries.append((int(port), request, int(status), agent))
        return entries

    def installed_through_nginx(self):
        """What nginx saw of a whole run: the answer and the installer from the maker's server,
        the installer handed on to the CDN."""
        return [(self.dit_port, f"GET {ANSWER_PATH} HTTP/1.1", 200, QUERY_AGENT),
                (self.dit_port, f"GET {INSTALLER_PATH} HTTP/1.1", 302, INSTALLER_AGENT),
                (self.cdn_port, f"GET {INSTALLER_PATH} HTTP/1.1", 200, INSTALLER_AGENT)]

    def assert_installed(self, process):
        self.assert_ended(process)
        self.assertEqual(self.read_file(self.installer_file), self.installer_bytes)
        runs = self.wait_for("the installer's record", self.sample_runs)
        self.assertEqual([run["exe"] for run in runs], [self.installer_path()])


class NginxTest(NetworkCase):
    """The answer and the installer as static files from nginx, the installer through a CDN."""

    def test_nginx_serves_the_answer_as_text_and_hands_the_installer_to_the_cdn(self):
        tls = ssl.create_default_context(cafile=os.environ["SETUP_TEST_CA"])

        def get(port, path):
            connection = http.client.HTTPSConnection("localhost", port, context=tls, timeout=30)
            try:
                connection.request("GET", path)
                response = connection.getresponse()
                return response.status, response.getheader("Content-Type"), \
                    response.getheader("Location"), response.read()
            finally:
                connection.close()

        status, content_type, _, body = get(self.dit_port, ANSWER_PATH)
        self.assertEqual((status, content_type), (200, "text/plain"))
        self.assertEqual(body.decode("ascii").splitlines()[0],
                         f"https://localhost:{self.dit_port}/downloads/setup-sample.exe"
                         f"|{len(self.installer_bytes)}")
        status, _, location, _ = get(self.dit_port, INSTALLER_PATH)
        self.assertEqual((status, location), (302, f"https://localhost:{self.cdn_port}"
                                                   f"{INSTALLER_PATH}"))
        status, _, _, body = get(self.cdn_port, INSTALLER_PATH)
        self.assertEqual((status, body), (200, self.installer_bytes))
        # Setup asks for the path in upper case; the name as the answer writes it is not served.
        status, _, _, _ = get(self.dit_port, INSTALLER_PATH.lower())
        self.assertEqual(status, 404)

    def test_setup_downloads_the_installer_through_the_cdn_redirect_and_starts_it(self):
        process = self.start_setup()
        self.assert_installed(process)
        self.assertEqual(self.nginx_log(), self.installed_through_nginx())

    def test_a_line_cut_at_half_is_resumed_with_nginxs_own_ranges(self):
        # The answer names a relay in front of the CDN, which drops the first connection halfway.
        relay_port = port_of(self.origins["PROD"]) + RELAY_OFFSET
        size = len(self.installer_bytes)
        with open(os.path.join(self.nginx_dir, "www", "validate", "installurl.php"), "w") as f:
            f.write(f"https://localhost:{relay_port}/downloads/setup-sample.exe|{size}\n")
        with CuttingRelay(relay_port, self.cdn_port, size // 2) as relay:
            process = self.start_setup()
            self.assert_installed(process)
        self.assertEqual(relay.connections, 2)
        # nginx answered the second request with the rest (206): it matched If-Range to its ETag.
        self.assertEqual(self.nginx_log(),
                         [(self.dit_port, f"GET {ANSWER_PATH} HTTP/1.1", 200, QUERY_AGENT),
                          (self.cdn_port, f"GET {INSTALLER_PATH} HTTP/1.1", 200, INSTALLER_AGENT),
                          (self.cdn_port, f"GET {INSTALLER_PATH} HTTP/1.1", 206,
                           INSTALLER_AGENT)])
        with open(os.path.join(self.temp_dir, "Setup.log"), "rb") as f:
            log = f.read().decode("utf-8", "replace")
        self.assertRegex(log, r"attempt 2: bytes \d+-, If-Range \"[0-9a-f]+-[0-9a-f]+\"")


class ProxyTest(NetworkCase):
    """A company proxy that wants a sign-in: the prefix's Internet settings point at squid."""

    def setUp(self):
        super().setUp()
        self.start_servers(["setup_start_squid", self.squid_dir, self.proxy_port, PROXY_PASSWORD,
                            self.dit_port, self.cdn_port])
        # Prefix-wide: put back as found, whatever the test's outcome.
        for name, value in (("ProxyEnable", ("REG_DWORD", "1")),
                            ("ProxyServer", ("REG_SZ", f"localhost:{self.proxy_port}"))):
            self.addCleanup(harness.set_registry_value, INTERNET_SETTINGS, name,
                            harness.registry_value(INTERNET_SETTINGS, name))
            harness.set_registry_value(INTERNET_SETTINGS, name, value)

    def squid_tunnels(self):
        """(result code, target, user, bytes) of every CONNECT squid logged; a tunnel is logged
        when it closes."""
        tunnels = []
        path = os.path.join(self.squid_dir, "access.log")
        if os.path.exists(path):
            with open(path, encoding="latin-1") as f:
                for line in f:
                    fields = line.split()
                    if len(fields) >= 8 and fields[5] == "CONNECT":
                        tunnels.append((fields[3], fields[6], fields[7], int(fields[4])))
        return tunnels

    def wait_sign_in_dialog(self):
        """The proxy sign-in dialog; a message of Setup's instead ends the wait at once."""
        deadline = time.monotonic() + WAIT_S
        while True:
            found, dialog = harness.probe("wait", SIGN_IN_TITLE, timeout_ms=1000)
            if found:
                return dialog
            message = harness.no_dialog(TITLE, for_ms=0)
            if message is not None or time.monotonic() > deadline:
                self.fail(f"no {SIGN_IN_TITLE!r} dialog appeared; Setup shows "
                          f"{message['text'] if message else 'no message'!r}")

    def watch_until_ended(self, process):
        """Waits for Setup to end; a second sign-in dialog or a message of Setup's fails."""
        deadline = time.monotonic() + WAIT_S
        while process.poll() is None and time.monotonic() < deadline:
            if harness.no_dialog(SIGN_IN_TITLE, for_ms=500) is not None:
                harness.press(SIGN_IN_TITLE, button="Cancel")
                self.fail("the proxy sign-in was asked for a second time")
            message = harness.no_dialog(TITLE, for_ms=0)
            if message is not None:
                self.fail(f"Setup shows {message['text']!r}")

    def test_signing_in_once_downloads_through_the_proxy(self):
        process = self.start_setup()
        self.wait_sign_in_dialog()
        dialog = harness.sign_in(SIGN_IN_TITLE, PROXY_USER, PROXY_PASSWORD)
        self.assertEqual((dialog["user_box"], dialog["password_box"], dialog["user"]),
                         (True, True, PROXY_USER))
        self.assertTrue({"OK", "Cancel"} <= set(dialog["buttons"]), dialog["buttons"])
        # The query and the download share the one sign-in: no second dialog until Setup ends.
        self.watch_until_ended(process)
        self.assert_installed(process)
        self.assertEqual(self.nginx_log(), self.installed_through_nginx())

        # Both origins were reached through tunnels signed in as setupuser; the CDN's carried the
        # installer.
        def signed_in_tunnels():
            tunnels = {(target, user): size for code, target, user, size in self.squid_tunnels()
                       if code == "TCP_TUNNEL/200"}
            wanted = {(f"localhost:{port}", PROXY_USER) for port in (self.dit_port, self.cdn_port)}
            return tunnels if wanted <= set(tunnels) else None

        # The support log says that the user signed in, never as whom or with what.
        with open(os.path.join(harness.wine_temp_dir(), "Setup.log"), "rb") as f:
            log = f.read()
        self.assertIn(b"proxy sign-in given", log)
        # Where the proxy came from: the prefix's manual setting, for both requests' sessions.
        self.assertEqual(log.count(f"proxy: manual localhost:{self.proxy_port}\r\n".encode()), 2,
                         log)
        self.assertEqual(log.count(b"the proxy asks for a sign-in"), 1, log)
        self.assertNotIn(PROXY_USER.encode(), log)
        self.assertNotIn(PROXY_PASSWORD.encode(), log)

        tunnels = self.wait_for("the signed-in tunnels in squid's log", signed_in_tunnels)
        self.assertGreater(tunnels[(f"localhost:{self.cdn_port}", PROXY_USER)],
                           len(self.installer_bytes))
        self.assertEqual({user for code, _, user, _ in self.squid_tunnels()
                          if code == "TCP_TUNNEL/200"}, {PROXY_USER})

    def test_cancelled_sign_in_is_reported_and_r_asks_again(self):
        process = self.start_setup()
        self.wait_sign_in_dialog()
        harness.press(SIGN_IN_TITLE, button="Cancel")
        dialog = harness.press(TITLE, timeout_ms=WAIT_S * 1000)
        self.assertEqual((dialog["title"], dialog["text"], dialog["buttons"]),
                         (TITLE, PROXY_SIGN_IN_REFUSED, ["OK"]))
        self.assert_idle(process)
        # The proxy's refusal never passed for the answer: nothing reached nginx, nothing written.
        self.assertEqual(self.nginx_log(), [])
        self.assertFalse(os.path.exists(self.installer_file))
        self.assertEqual(self.sample_runs(), [])
        harness.key(TITLE, "r", class_name=WINDOW_CLASS)
        self.wait_sign_in_dialog()


class UntrustedCaTest(NetworkCase):
    """The maker's server with a certificate from a CA the prefix does not trust, sent with its
    chain: WinInet refuses it at once."""

    SENDS_ITS_CHAIN = True

    @classmethod
    def setUpClass(cls):
        super().setUpClass()
        cls.untrusted = tempfile.TemporaryDirectory()
        made = harness.make_certificates(os.path.join(cls.untrusted.name, "made"))
        cls.certs = os.path.join(cls.untrusted.name, "served")
        os.makedirs(cls.certs)
        shutil.copy(made["server.key"], cls.certs)
        source = "server.pem" if cls.SENDS_ITS_CHAIN else "server.crt"
        shutil.copy(os.path.join(os.path.dirname(made["server.pem"]), source),
                    os.path.join(cls.certs, "server.pem"))

    @classmethod
    def tearDownClass(cls):
        cls.untrusted.cleanup()
        super().tearDownClass()

    def test_untrusted_server_is_not_connected_and_nothing_is_asked_of_it(self):
        process = self.start_setup()
        dialog = harness.press(TITLE, timeout_ms=WAIT_S * 1000)
        match = re.fullmatch(r"Not connected: \(InternetOpenURL\) (.*) EC=(\d+)\.", dialog["text"],
                             re.DOTALL)
        self.assertIsNotNone(match, dialog["text"])
        self.assertEqual(int(match.group(2)), ERROR_INTERNET_INVALID_CA)
        self.assert_idle(process)
        self.assertEqual(self.nginx_log(), [])
        self.assertFalse(os.path.exists(self.installer_file))
        with open(os.path.join(harness.wine_temp_dir(), "Setup.log"), "rb") as f:
            log = f.read()
        # Only the leaf: Wine cannot check a revocation it has no chain for and says so (12057);
        # with that check off, the unknown authority is what remains.
        self.assertEqual(b"revocation unknown: sending again" in log, not self.SENDS_ITS_CHAIN,
                         log)


class UntrustedCaLeafOnlyTest(UntrustedCaTest):
    """The same server sending only its own certificate, without the CA's."""

    SENDS_ITS_CHAIN = False


class CacheTest(NetworkCase):
    """Setup leaves no copy of the installer in the system's Internet cache, where another program
    could pick it up later."""

    def cache_dir(self):
        folders = r"HKCU\Software\Microsoft\Windows\CurrentVersion\Explorer\Shell Folders"
        value = harness.registry_value(folders, "Cache")
        self.assertIsNotNone(value, "the prefix names no Internet cache folder")
        return harness.unix_path(value[1])

    def installer_copies(self, directory):
        copies = []
        for folder, _, names in os.walk(directory):
            for name in names:
                path = os.path.join(folder, name)
                if "setup-sample" in name.lower() or (
                        os.path.getsize(path) == len(self.installer_bytes)
                        and self.read_file(path) == self.installer_bytes):
                    copies.append(path)
        return copies

    def test_no_copy_of_the_installer_in_the_internet_cache(self):
        cache = self.cache_dir()
        # Copies that earlier runs left behind do not count against this one.
        for path in self.installer_copies(cache):
            os.remove(path)
        process = self.start_setup()
        self.assert_installed(process)
        self.assertEqual(self.nginx_log(), self.installed_through_nginx())
        self.assertTrue(os.path.isdir(cache), f"{cache} does not exist")
        self.assertEqual(self.installer_copies(cache), [], "the installer is in the Internet cache")


if __name__ == "__main__":
    unittest.main()
