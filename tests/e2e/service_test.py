"""The local install service behaves as its control API says. Runs natively (no Wine):
    python3 tests/e2e/service_test.py
It starts its own service on free ports with certificates made in a temporary directory."""

import hashlib
import http.client
import os
import ssl
import sys
import tempfile
import threading
import time
import unittest

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import harness  # noqa: E402

ANSWER = "/validate/installurl.php?get=url"
INSTALLER = "/DOWNLOADS/SETUP-SAMPLE.EXE"


def pattern(size):
    return bytes((i * 7 + 3) & 0xFF for i in range(size))


class ServiceTest(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        cls.workdir = tempfile.TemporaryDirectory(prefix="service-test-")
        files = harness.make_certificates(os.path.join(cls.workdir.name, "certs"))
        cls.installer_data = os.urandom(150000)
        installer_path = os.path.join(cls.workdir.name, "installer.exe")
        with open(installer_path, "wb") as f:
            f.write(cls.installer_data)
        cls.service_log = os.path.join(cls.workdir.name, "service.log")
        cls.local = harness.LocalService([0, 0], files["server.pem"], files["server.key"],
                                         installer=installer_path, log_path=cls.service_log)
        cls.local.__enter__()
        cls.service = harness.Service(cls.local.origin(0), files["ca.pem"])
        cls.tls = ssl.create_default_context(cafile=files["ca.pem"])

    @classmethod
    def tearDownClass(cls):
        cls.local.__exit__(None, None, None)
        cls.workdir.cleanup()

    def setUp(self):
        self.service.reset()

    def tearDown(self):
        with open(self.service_log, encoding="utf-8", errors="replace") as f:
            self.assertNotIn("Traceback", f.read())

    def connect(self, port_index=1):
        return http.client.HTTPSConnection("localhost", self.local.ports[port_index],
                                           context=self.tls, timeout=30)

    def fetch(self, path, port_index=1, user_agent="service-test", headers=None):
        """One GET without following redirects: (status, headers, body); a body cut short is
        what arrived before the cut."""
        connection = self.connect(port_index)
        try:
            connection.request("GET", path, headers={"User-Agent": user_agent, **(headers or {})})
            response = connection.getresponse()
            body = b""
            try:
                while chunk := response.read(8192):
                    body += chunk
            except (ConnectionError, ssl.SSLError, http.client.IncompleteRead):
                pass
            return response.status, response.headers, body
        finally:
            connection.close()

    def test_default_answer_names_the_port_asked_and_the_installer_size(self):
        for index, port in enumerate(self.local.ports):
            status, _, body = self.fetch(ANSWER, index)
            self.assertEqual(status, 200)
            expected = f"https://localhost:{port}/downloads/setup-sample.exe|{len(self.installer_data)}"
            self.assertEqual(body.decode(), expected)

    def test_installer_is_served_under_the_upper_cased_and_the_original_path(self):
        for path in (INSTALLER, INSTALLER.lower()):
            status, headers, body = self.fetch(path)
            self.assertEqual(status, 200, path)
            self.assertEqual(headers["Content-Length"], str(len(self.installer_data)))
            self.assertEqual(body, self.installer_data)
        self.assertEqual(self.service.installer_bytes(), self.installer_data)

    def test_answer_sends_raw_bytes_with_the_status_asked(self):
        cases = [
            (b"\xef\xbb\xbf0\r\n", 200),
            (b"\xff\xfeh\x00t\x00", 200),
            (b"\xfe\xff\x00h", 500),
            (b"0\x00junk after NUL", 200),
            (b"a+b %41|&=?", 404),
            (b"", 200),
        ]
        for body, status in cases:
            with self.subTest(body=body, status=status):
                self.service.answer(status=status, body=body)
                got_status, _, got_body = self.fetch(ANSWER)
                self.assertEqual((got_status, got_body), (status, body))

    def test_announce_keeps_the_url_and_changes_only_the_size(self):
        for announced in (-5, 0, 2147483647):
            with self.subTest(announced=announced):
                self.service.answer(announce=announced)
                _, _, body = self.fetch(ANSWER)
                port = self.local.ports[1]
                self.assertEqual(body.decode(),
                                 f"https://localhost:{port}/downloads/setup-sample.exe|{announced}")

    def test_sha256_adds_the_served_installers_hash_or_the_text_given(self):
        port = self.local.ports[1]
        prefix = f"https://localhost:{port}/downloads/setup-sample.exe|"
        self.service.installer(size=1000)
        served = self.service.installer_bytes()
        cases = [("right", hashlib.sha256(served).hexdigest()), ("0" * 64, "0" * 64),
                 ("xyz", "xyz")]
        for given, third in cases:
            with self.subTest(given):
                self.service.answer(sha256=given)
                _, _, body = self.fetch(ANSWER)
                self.assertEqual(body.decode(), f"{prefix}1000|{third}")
        # With announce too: the size as given, the hash of what is served.
        self.service.answer(announce=7, sha256="right")
        self.assertEqual(self.fetch(ANSWER)[2].decode(),
                         f"{prefix}7|{hashlib.sha256(served).hexdigest()}")

    def test_generated_installer_follows_the_pattern_or_the_fill_byte(self):
        cases = [(dict(size=70000), pattern(70000)), (dict(size=300, fill=0x41), b"A" * 300),
                 (dict(size=0), b""), (dict(fill=0), bytes(len(self.installer_data)))]
        for params, expected in cases:
            with self.subTest(params=params):
                self.service.installer(**params)
                status, headers, body = self.fetch(INSTALLER)
                self.assertEqual((status, body), (200, expected))
                self.assertEqual(headers["Content-Length"], str(len(expected)))
                self.assertEqual(self.service.installer_bytes(), expected)
                _, _, answer = self.fetch(ANSWER)
                self.assertTrue(answer.decode().endswith(f"|{len(expected)}"))

    def test_installer_from_a_file_serves_its_bytes_and_announces_its_size(self):
        path = os.path.join(self.workdir.name, "signed.exe")
        data = b"MZ" + os.urandom(5000)
        with open(path, "wb") as f:
            f.write(data)
        self.service.installer(file=path)
        status, headers, body = self.fetch(INSTALLER)
        self.assertEqual((status, body), (200, data))
        _, _, answer = self.fetch(ANSWER)
        self.assertTrue(answer.decode().endswith(f"|{len(data)}"))
        for params in (dict(file=path + ".missing"), dict(file=path, size=10)):
            with self.subTest(params=params):
                with self.assertRaises(harness.ServiceError):
                    self.service.installer(**params)

    def test_installer_status_and_slow_delivery_keep_the_bytes(self):
        cases = [dict(status=404), dict(status=302), dict(delay_ms=100, chunk_delay_ms=20)]
        for params in cases:
            with self.subTest(params=params):
                self.service.installer(size=200000, **params)
                status, _, body = self.fetch(INSTALLER)
                self.assertEqual(status, params.get("status", 200))
                self.assertEqual(body, pattern(200000))

    def test_close_after_cuts_the_body_but_announces_the_full_length(self):
        for size, cut in ((100000, 30000), (100000, 0), (5000, 4999)):
            with self.subTest(size=size, cut=cut):
                self.service.installer(size=size, close_after=cut)
                connection = self.connect()
                try:
                    connection.request("GET", INSTALLER)
                    response = connection.getresponse()
                    self.assertEqual(response.headers["Content-Length"], str(size))
                    received = b""
                    try:
                        # A short body ends in an empty read or a reset, depending on timing.
                        while chunk := response.read(8192):
                            received += chunk
                    except (ConnectionError, ssl.SSLError):
                        pass
                    self.assertEqual(received, pattern(size)[:cut])
                finally:
                    connection.close()

    def test_forever_streams_until_the_client_leaves(self):
        self.service.answer(forever=True, body=b"x|1\r\n")
        connection = self.connect()
        response = None
        try:
            connection.request("GET", ANSWER)
            response = connection.getresponse()
            self.assertEqual(response.status, 200)
            self.assertIsNone(response.headers["Content-Length"])
            received = response.read(300001)
            self.assertEqual(received, (b"x|1\r\n" * 60001)[:300001])
        finally:
            connection.close()
        # The service carries on after the client walked away mid-stream.
        self.service.reset()
        status, _, body = self.fetch(ANSWER)
        self.assertEqual(status, 200)
        self.assertIn(b"/downloads/setup-sample.exe|", body)

    def test_redirects_point_into_the_same_origin_and_their_target_serves_the_content(self):
        port = self.local.ports[1]
        self.service.answer(redirect="/moved/answer.txt", body=b"moved|7")
        status, headers, _ = self.fetch(ANSWER)
        self.assertEqual((status, headers["Location"]),
                         (302, f"https://localhost:{port}/moved/answer.txt"))
        self.assertEqual(self.fetch("/moved/answer.txt")[::2], (200, b"moved|7"))

        self.service.installer(redirect="/Other/Place.EXE", size=1000)
        status, headers, _ = self.fetch(INSTALLER)
        self.assertEqual((status, headers["Location"]),
                         (302, f"https://localhost:{port}/Other/Place.EXE"))
        self.assertEqual(self.fetch("/Other/Place.EXE")[::2], (200, pattern(1000)))

    def test_plain_http_listener_serves_the_same_paths_without_redirects(self):
        http_port = self.service.info()["http_port"]
        self.assertEqual(self.service.info()["ports"], self.local.ports)
        self.service.installer(size=1000, redirect="/elsewhere")
        plain = http.client.HTTPConnection("localhost", http_port, timeout=30)
        try:
            plain.request("GET", INSTALLER)
            response = plain.getresponse()
            self.assertEqual((response.status, response.read()), (200, pattern(1000)))
        finally:
            plain.close()
        self.assertEqual(self.fetch(INSTALLER)[0], 302)
        # An insecure answer names the installer on the plain listener.
        self.service.answer(plain=True)
        self.assertEqual(self.fetch(ANSWER)[2].decode(),
                         f"http://localhost:{http_port}/downloads/setup-sample.exe|1000")
        self.assertEqual([entry["port"] for entry in self.service.log()],
                         [http_port, self.local.ports[1], self.local.ports[1]])

    def test_pause_sends_exactly_the_bytes_before_it_then_the_rest(self):
        self.service.installer(size=50000, pause_after=25000, pause_ms=1500)
        connection = self.connect()
        try:
            connection.request("GET", INSTALLER)
            response = connection.getresponse()
            first = response.read(25000)
            started = time.monotonic()
            rest = response.read()
            paused = time.monotonic() - started
        finally:
            connection.close()
        self.assertEqual(first + rest, pattern(50000))
        self.assertGreater(paused, 1.0)

    def test_reset_ends_a_pause_and_its_connection(self):
        self.service.installer(size=50000, pause_after=100, pause_ms=600000)
        connection = self.connect()
        received = []
        try:
            connection.request("GET", INSTALLER)
            response = connection.getresponse()
            received.append(response.read(100))
            threading.Timer(0.5, self.service.reset).start()
            try:
                received.append(response.read())
            except (http.client.IncompleteRead, ConnectionError, ssl.SSLError):
                pass
        finally:
            connection.close()
        self.assertEqual(b"".join(received), pattern(100))

    def test_ranges_continue_only_the_version_that_if_range_names(self):
        data = self.installer_data
        size = len(data)
        _, plain, _ = self.fetch(INSTALLER)
        etag, date = plain["ETag"], plain["Last-Modified"]
        self.assertRegex(etag, r'^"[0-9a-f]{16}"$')
        self.assertTrue(date.endswith(" GMT"), date)
        rest = (206, f"bytes 1000-{size - 1}/{size}", data[1000:])
        whole = (200, None, data)
        cases = [
            ("strong", {"Range": "bytes=1000-"}, rest),
            ("strong", {"Range": "bytes=1000-", "If-Range": etag}, rest),
            ("strong", {"Range": "bytes=1000-", "If-Range": date}, rest),
            ("strong", {"Range": "bytes=1000-", "If-Range": '"another"'}, whole),
            ("strong", {"Range": "bytes=0-"}, whole),
            ("strong", {"Range": f"bytes={size}-"}, (416, f"bytes */{size}", b"")),
            ("weak", {"Range": "bytes=1000-", "If-Range": "W/" + etag}, whole),
            ("weak", {"Range": "bytes=1000-", "If-Range": date}, rest),
            ("date", {"Range": "bytes=1000-", "If-Range": date}, rest),
            ("none", {"Range": "bytes=1000-", "If-Range": etag}, whole),
        ]
        for validators, headers, expected in cases:
            with self.subTest(validators=validators, headers=headers):
                self.service.installer(validators=validators)
                status, answer, body = self.fetch(INSTALLER, headers=headers)
                self.assertEqual((status, answer["Content-Range"], body), expected)
                self.assertEqual(answer["ETag"], {"strong": etag, "weak": "W/" + etag}.get(
                    validators))
                self.assertEqual(answer["Last-Modified"], None if validators == "none" else date)

    def test_busy_and_cut_times_apply_to_the_first_requests_and_the_log_shows_ranges(self):
        data = self.installer_data
        size, cut = len(data), 40000
        self.service.installer(close_after=cut, cut_times=1, busy=2, retry_after="3")
        busy = [self.fetch(INSTALLER) for _ in range(2)]
        self.assertEqual([(s, h["Retry-After"]) for s, h, _ in busy], [(503, "3"), (503, "3")])
        status, answer, body = self.fetch(INSTALLER)
        self.assertEqual((status, body), (200, data[:cut]))
        resume = {"Range": f"bytes={cut}-", "If-Range": answer["ETag"]}
        status, _, body = self.fetch(INSTALLER, headers=resume)
        self.assertEqual((status, body), (206, data[cut:]))
        self.assertEqual([(e["status"], e["range"], e["if_range"], e.get("sent"))
                          for e in self.service.log()],
                         [(503, None, None, None), (503, None, None, None), (200, None, None, cut),
                          (206, f"bytes={cut}-", answer["ETag"], size - cut)])
        # A cut every time, at an offset in the file: a range from past it gets no byte.
        self.service.installer(close_after=cut)
        self.assertEqual(self.fetch(INSTALLER, headers={"Range": "bytes=1000-"})[2],
                         data[1000:cut])
        self.assertEqual(self.fetch(INSTALLER, headers={"Range": f"bytes={cut}-"})[2], b"")
        self.service.installer(busy=1)
        self.assertNotIn("Retry-After", self.fetch(INSTALLER)[1])
        self.assertEqual(self.fetch(INSTALLER)[0], 200)

    def test_log_lists_service_requests_only_and_reset_clears_it(self):
        self.fetch(ANSWER, 0, user_agent="Mozilla/3.0 (compatible; Indy Library)")
        self.fetch(INSTALLER, 1, user_agent="Setup.exe")
        self.fetch("/nowhere?x=1", 1, user_agent="other")
        self.service.answer(status=200)
        expected = [
            dict(port=self.local.ports[0], method="GET", path=ANSWER,
                 user_agent="Mozilla/3.0 (compatible; Indy Library)", range=None, if_range=None),
            dict(port=self.local.ports[1], method="GET", path=INSTALLER, user_agent="Setup.exe",
                 range=None, if_range=None, status=200, sent=len(self.installer_data)),
            dict(port=self.local.ports[1], method="GET", path="/nowhere?x=1", user_agent="other",
                 range=None, if_range=None),
        ]
        # A handler notes "done" just after its last byte, so the client may see the log first.
        deadline = time.monotonic() + 5
        log = self.service.log()
        while any("done" not in entry for entry in log) and time.monotonic() < deadline:
            time.sleep(0.05)
            log = self.service.log()
        times = [entry.pop("time") for entry in log]
        done = [entry.pop("done") for entry in log]  # the last byte sent, after the arrival
        self.assertEqual(log, expected)
        self.assertEqual(times, sorted(times))
        self.assertTrue(all(t <= d for t, d in zip(times, done)), (times, done))
        self.assertEqual(self.fetch("/nowhere?x=1")[0], 404)
        self.service.reset()
        self.assertEqual(self.service.log(), [])

    def test_reset_restores_the_default_behaviour(self):
        self.service.answer(status=500, body=b"broken")
        self.service.installer(size=10, status=404)
        self.service.reset()
        self.assertEqual(self.fetch(ANSWER)[0], 200)
        self.assertEqual(self.fetch(INSTALLER)[::2], (200, self.installer_data))

    def test_listen_closes_one_port_until_reopened_or_reset(self):
        closed = self.local.ports[1]
        for reopen in (lambda: self.service.listen(closed, True), self.service.reset):
            # The service client talks through port 0, which stays open throughout.
            self.service.listen(closed, False)
            with self.assertRaises(ConnectionRefusedError):
                self.fetch(ANSWER, 1)
            self.assertEqual(self.fetch(ANSWER, 0)[0], 200)
            # Closing a closed port changes nothing.
            self.service.listen(closed, False)
            reopen()
            self.assertEqual(self.fetch(ANSWER, 1)[0], 200)
        self.assertEqual([entry["port"] for entry in self.service.log()], [closed])

    def test_bad_control_requests_answer_400_with_a_reason(self):
        cases = [
            ("/_control/answer?status=abc", b"not an integer"),
            ("/_control/answer?status=99", b"outside"),
            ("/_control/answer?colour=red", b"unknown parameter"),
            ("/_control/answer?status=200&status=404", b"twice"),
            ("/_control/answer?redirect=nowhere", b"redirect"),
            ("/_control/answer?forever=1&body=", b"non-empty"),
            ("/_control/answer?body=1&announce=2", b"exclude"),
            ("/_control/answer?body=1&sha256=right", b"exclude"),
            ("/_control/installer?fill=256", b"outside"),
            ("/_control/installer?close_after=-1", b"outside"),
            ("/_control/installer?size=10&close_after=11", b"outside"),
            ("/_control/shutdown", b"unknown control"),
            ("/_control/listen?on=0", b"needs port"),
            ("/_control/listen?port=1&on=0", b"not one of"),
            ("/_control/listen?port=1&on=2", b"outside"),
            ("/_control/installer?pause_after=10", b"go together"),
            ("/_control/installer?size=10&pause_after=11&pause_ms=1", b"outside"),
            ("/_control/installer?cut_times=1", b"cut_times needs close_after"),
            ("/_control/installer?validators=some", b"strong, weak, date or none"),
        ]
        for path, reason in cases:
            with self.subTest(path=path):
                status, _, body = self.fetch(path)
                self.assertEqual(status, 400)
                self.assertIn(reason, body)
        # A refused control request leaves the behaviour as it was.
        self.assertEqual(self.fetch(ANSWER)[0], 200)


if __name__ == "__main__":
    unittest.main()
