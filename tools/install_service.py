#!/usr/bin/env python3
"""Local stand-in for the maker's install-location service, used by the demo and the tests.

Serves the install-location answer and the installer over HTTPS on one or more local ports, and
lets a test change both through GET requests under /_control/ on any of those ports:

  /_control/reset
  /_control/answer?status=N&body=PCT&announce=N&forever=1&delay_ms=N&redirect=PATH&plain=1
                  &sha256=right|TEXT
  /_control/installer?status=N&size=N&fill=BYTE&close_after=N&delay_ms=N&chunk_delay_ms=N
                     &redirect=PATH&pause_after=N&pause_ms=N&file=PATH&cut_times=K
                     &busy=K&retry_after=TEXT&validators=strong|weak|date|none
  /_control/info              JSON: {"ports": [...], "http_port": N}
  /_control/log               JSON array of the requests seen since the last reset (arrival
                              "time" and, once answered, "done": when the last byte was sent)
  /_control/installer_bytes   the exact bytes the installer path serves now
  /_control/listen?port=N&on=0|1   closes (connections to it are then refused) or reopens one of
                              the service's ports; reset reopens every closed port

  /_hops/N/answer, /_hops/N/installer   N more redirects (relative and absolute-path Locations
                              in turn), then what the answer or the installer path serves

Every call to /_control/answer or /_control/installer replaces that whole behaviour: parameters
left out take their defaults again. delay_ms waits before the answer's headers; pause_after and
pause_ms stop sending the installer's body for a while after that many bytes (a reset ends the
pause and the connection). plain=1 announces the installer on the plain-HTTP listener. sha256 adds
a third field to the answer: right gives the SHA-256 of the bytes the installer path serves, any
other text is sent as it is (a wrong or a malformed hash). file=PATH
serves the bytes of that local file (a signed or altered installer) instead of the installer.

The installer carries an ETag (a digest of its bytes) and a Last-Modified date and answers
"Range: bytes=N-" with 206 and a Content-Range, or with 200 and the whole file when If-Range
names neither of them; validators=weak sends a weak ETag, date only Last-Modified, none
neither. close_after and pause_after are offsets in the file, whatever range a request asks
for; cut_times=K cuts only the first K installer requests (default: every one). busy=K answers
the first K installer requests 503 with retry_after as their Retry-After header (none without
it). The log notes each request's Range and If-Range, and the installer's status and the body
bytes it sent.

Besides the HTTPS ports the service listens for plain HTTP on one more port (--http-port, a free
one by default), serving the same paths without redirects: the target of insecure answers and
redirects in tests. Standard library only.
"""

import argparse
import email.utils
import fcntl
import hashlib
import http.server
import json
import logging
import os
import re
import signal
import socket
import ssl
import struct
import sys
import threading
import time
import urllib.parse

ANSWER_PATH = "/validate/installurl.php"
INSTALLER_PATH = "/downloads/setup-sample.exe"
# /_hops/N/answer and /_hops/N/installer: a chain of N more redirects before the answer or the
# installer, for tests of how many hops a client follows.
HOPS_PATH = re.compile(r"/_hops/(\d{1,3})/(answer|installer)")
CHUNK = 64 * 1024
DEFAULT_INSTALLER_SIZE = 256 * 1024
# Linux ioctl for the bytes still unacknowledged in a socket's send queue.
SIOCOUTQ = 0x5411

log = logging.getLogger("install_service")


def pattern_bytes(size, fill=None):
    if fill is not None:
        return bytes([fill]) * size
    period = bytes((i * 7 + 3) & 0xFF for i in range(256))
    return (period * (size // 256 + 1))[:size]


def local_target(redirect):
    """The path of a redirect that stays on the same origin ("" for none)."""
    return redirect.partition("?")[0] if redirect and redirect.startswith("/") else ""


class BadRequest(Exception):
    """A control request the service cannot follow; its text is the reason sent back."""


class ControlParams:
    """The raw query of a control request, checked against the names the endpoint accepts."""

    def __init__(self, query, allowed):
        self.values = {}
        for item in filter(None, query.split("&")):
            name, _, raw = item.partition("=")
            if name not in allowed:
                raise BadRequest(f"unknown parameter '{name}'")
            if name in self.values:
                raise BadRequest(f"parameter '{name}' given twice")
            # Percent-decoding to bytes keeps BOMs, NULs and '+' exactly as the test meant them.
            self.values[name] = urllib.parse.unquote_to_bytes(raw)

    def integer(self, name, default=None, low=0, high=2**63):
        if name not in self.values:
            return default
        text = self.values[name].decode("ascii", "replace")
        try:
            value = int(text, 0)
        except ValueError:
            raise BadRequest(f"{name}={text!r} is not an integer") from None
        if not low <= value <= high:
            raise BadRequest(f"{name}={value} is outside {low}..{high}")
        return value

    def flag(self, name):
        return self.integer(name, 0, 0, 1) == 1

    def status(self):
        return self.integer("status", 200, 100, 599)

    def redirect(self):
        if "redirect" not in self.values:
            return None
        target = self.values["redirect"].decode("latin-1")
        if not target.startswith(("/", "http://", "https://")):
            raise BadRequest("redirect must be a path starting with '/' or an absolute URL")
        return target


class ServiceState:
    """What the two service paths answer, and the request log; shared by all listener threads."""

    def __init__(self, installer_file):
        self.lock = threading.Lock()
        if installer_file:
            with open(installer_file, "rb") as f:
                self.original_installer = f.read()
        else:
            self.original_installer = pattern_bytes(DEFAULT_INSTALLER_SIZE)
        # Once: a benchmark's installer is large, and its validators are asked for every request.
        self.original_digest = hashlib.sha256(self.original_installer).digest()
        self.reset()

    def reset(self):
        with self.lock:
            self.answer = dict(status=200, body=None, announce=None, forever=False,
                               delay_ms=0, redirect=None, plain=False, sha256=None)
            self.installer = dict(status=200, data=self.original_installer,
                                  digest=self.original_digest, close_after=None,
                                  delay_ms=0, chunk_delay_ms=0, redirect=None, pause_after=None,
                                  pause_ms=0, cut_times=None, busy=0, retry_after=None,
                                  validators="strong")
            self.installer_requests = 0
            self.requests = []
            # Pauses of the behaviour being replaced end now.
            if hasattr(self, "resetting"):
                self.resetting.set()
            self.resetting = threading.Event()

    def set_answer(self, params):
        answer = dict(status=params.status(),
                      body=params.values.get("body"),
                      announce=params.integer("announce", None, -2**31, 2**31 - 1),
                      forever=params.flag("forever"),
                      delay_ms=params.integer("delay_ms", 0, 0, 600000),
                      redirect=params.redirect(),
                      plain=params.flag("plain"),
                      sha256=params.values.get("sha256"))
        if answer["body"] is not None and answer["announce"] is not None:
            raise BadRequest("body and announce exclude each other")
        if answer["body"] is not None and answer["sha256"] is not None:
            raise BadRequest("body and sha256 exclude each other")
        if answer["forever"] and answer["body"] == b"":
            raise BadRequest("forever needs a non-empty body")
        with self.lock:
            self.answer = answer

    def set_installer(self, params):
        size = params.integer("size", None, 0, 2**31 - 1)
        fill = params.integer("fill", None, 0, 255)
        if size is None and fill is not None:
            size = len(self.original_installer)
        data = self.original_installer if size is None else pattern_bytes(size, fill)
        if "file" in params.values:
            if size is not None:
                raise BadRequest("file excludes size and fill")
            try:
                with open(params.values["file"].decode("utf-8"), "rb") as f:
                    data = f.read()
            except OSError as e:
                raise BadRequest(f"cannot read file: {e}")
        digest = (self.original_digest if data is self.original_installer
                  else hashlib.sha256(data).digest())
        installer = dict(status=params.status(), data=data, digest=digest,
                         close_after=params.integer("close_after", None, 0, len(data)),
                         delay_ms=params.integer("delay_ms", 0, 0, 600000),
                         chunk_delay_ms=params.integer("chunk_delay_ms", 0, 0, 60000),
                         redirect=params.redirect(),
                         pause_after=params.integer("pause_after", None, 0, len(data)),
                         pause_ms=params.integer("pause_ms", 0, 0, 600000),
                         cut_times=params.integer("cut_times", None, 0, 1000),
                         busy=params.integer("busy", 0, 0, 1000),
                         retry_after=(params.values["retry_after"].decode("latin-1")
                                      if "retry_after" in params.values else None),
                         validators=params.values.get("validators", b"strong").decode("latin-1"))
        if (installer["pause_after"] is None) != ("pause_ms" not in params.values):
            raise BadRequest("pause_after and pause_ms go together")
        if installer["cut_times"] is not None and installer["close_after"] is None:
            raise BadRequest("cut_times needs close_after")
        if installer["validators"] not in ("strong", "weak", "date", "none"):
            raise BadRequest("validators is strong, weak, date or none")
        with self.lock:
            self.installer = installer
            # Counted afresh: "the first K requests" are those after this call.
            self.installer_requests = 0

    def count_installer_request(self):
        """The number of this installer request since the behaviour was set, from 1."""
        with self.lock:
            self.installer_requests += 1
            return self.installer_requests

    def record(self, port, method, path, user_agent, headers):
        with self.lock:
            # The arrival time lets benchmarks measure when a program's requests reach the service.
            entry = dict(port=port, method=method, path=path, user_agent=user_agent,
                         time=time.time(), range=headers.get("Range"),
                         if_range=headers.get("If-Range"))
            self.requests.append(entry)
            return entry

    def snapshot(self):
        with self.lock:
            return dict(self.answer), dict(self.installer), list(self.requests)

    def wait_unless_reset(self, seconds):
        """Sleeps; True when a reset came first."""
        with self.lock:
            resetting = self.resetting
        return resetting.wait(seconds)


class Handler(http.server.BaseHTTPRequestHandler):
    protocol_version = "HTTP/1.1"
    server_version = "SetupTestService/1.0"
    # Idle keep-alive connections and clients that stopped reading free their thread after this.
    timeout = 300

    # -- dispatch -------------------------------------------------------------------------------

    def do_GET(self):
        self.dispatch(send_body=True)

    def do_HEAD(self):
        self.dispatch(send_body=False)

    def dispatch(self, send_body):
        self.send_body = send_body
        state = self.server.state
        path, _, query = self.path.partition("?")
        try:
            if path.startswith("/_control/"):
                self.control(state, path[len("/_control/"):], query)
                return
            entry = state.record(self.port, self.command, self.path,
                                 self.headers.get("User-Agent", ""), self.headers)
            self.entry = entry
            answer, installer, _ = state.snapshot()
            # A redirect target on the same origin serves what the redirected path would have.
            if self.server.plain:
                answer["redirect"] = installer["redirect"] = None
            hops = HOPS_PATH.fullmatch(path)
            if hops:
                self.serve_hop(int(hops.group(1)), hops.group(2), answer, installer)
            elif path == ANSWER_PATH and answer["redirect"]:
                self.redirect_to(answer["redirect"], answer["delay_ms"])
            elif path in (ANSWER_PATH, local_target(answer["redirect"])):
                self.serve_answer(answer, installer["data"])
            elif path.lower() == INSTALLER_PATH and installer["redirect"]:
                self.redirect_to(installer["redirect"], installer["delay_ms"])
            elif path.lower() in (INSTALLER_PATH, local_target(installer["redirect"]).lower()):
                self.serve_installer(installer)
            else:
                self.reply(404, b"not found\n")
            # When the last byte went to the socket: benchmarks time transfers by the service's clock.
            entry["done"] = time.time()
        except (ConnectionError, TimeoutError, ssl.SSLError):
            # The client went away mid-answer: that is what several tests do on purpose.
            self.close_connection = True

    @property
    def port(self):
        return self.server.server_address[1]

    def origin(self):
        return f"{'http' if self.server.plain else 'https'}://localhost:{self.port}"

    # -- control --------------------------------------------------------------------------------

    def control(self, state, name, query):
        try:
            if name == "reset":
                ControlParams(query, ())
                state.reset()
                self.server.listeners.reopen_all()
            elif name == "listen":
                params = ControlParams(query, ("port", "on"))
                port = params.integer("port", None, 1, 65535)
                if port is None or "on" not in params.values:
                    raise BadRequest("listen needs port and on")
                self.server.listeners.set_listening(port, params.flag("on"))
            elif name == "answer":
                state.set_answer(ControlParams(query, ("status", "body", "announce", "forever",
                                                       "delay_ms", "redirect", "plain",
                                                       "sha256")))
            elif name == "installer":
                state.set_installer(ControlParams(query, ("status", "size", "fill", "close_after",
                                                          "delay_ms", "chunk_delay_ms",
                                                          "redirect", "pause_after",
                                                          "pause_ms", "file", "cut_times",
                                                          "busy", "retry_after",
                                                          "validators")))
            elif name == "info":
                ControlParams(query, ())
                info = dict(ports=self.server.listeners.ports,
                            http_port=self.server.listeners.http_port)
                self.reply(200, json.dumps(info).encode(), "application/json")
                return
            elif name == "log":
                _, _, requests = state.snapshot()
                self.reply(200, json.dumps(requests).encode(), "application/json")
                return
            elif name == "installer_bytes":
                _, installer, _ = state.snapshot()
                self.reply(200, installer["data"], "application/octet-stream")
                return
            else:
                raise BadRequest(f"unknown control '{name}'")
        except BadRequest as e:
            self.reply(400, f"{e}\n".encode())
            return
        self.reply(200, b"ok\n")

    # -- the service paths ----------------------------------------------------------------------

    def redirect_to(self, target, delay_ms):
        time.sleep(delay_ms / 1000)
        location = target if target.startswith("http") else self.origin() + target
        self.reply(302, b"", extra={"Location": location})

    def serve_hop(self, remaining, what, answer, installer):
        """One hop of a redirect chain: the next one is named relative to this one when the
        count is odd, by its absolute path when it is even; the last serves the target."""
        if remaining == 0:
            if what == "answer":
                self.serve_answer(answer, installer["data"])
            else:
                self.serve_installer(installer)
            return
        location = (f"../{remaining - 1}/{what}" if remaining % 2 else
                    f"/_hops/{remaining - 1}/{what}")
        self.reply(302, b"", extra={"Location": location})

    def serve_answer(self, answer, installer_data):
        if self.server.state.wait_unless_reset(answer["delay_ms"] / 1000):
            self.close_connection = True
            return
        body = answer["body"]
        if body is None:
            size = len(installer_data) if answer["announce"] is None else answer["announce"]
            origin = (f"http://localhost:{self.server.listeners.http_port}" if answer["plain"]
                      else self.origin())
            body = f"{origin}{INSTALLER_PATH}|{size}".encode()
            if answer["sha256"] == b"right":
                body += b"|" + hashlib.sha256(installer_data).hexdigest().encode()
            elif answer["sha256"] is not None:
                body += b"|" + answer["sha256"]
        if not answer["forever"]:
            self.reply(answer["status"], body)
            return
        # Without a length the body runs until one side closes; only the client ever does.
        self.close_connection = True
        self.send_response(answer["status"])
        self.send_header("Content-Type", "text/plain")
        self.send_header("Connection", "close")
        self.end_headers()
        block = body * max(1, CHUNK // len(body))
        while self.send_body:
            self.wfile.write(block)

    @staticmethod
    def validator_headers(installer):
        """The installer's ETag and Last-Modified as the behaviour asks: both by default."""
        digest = installer["digest"]
        etag = '"' + digest[:8].hex() + '"'
        # A fixed date per content, well in the past, so that it is exact enough for If-Range.
        date = email.utils.formatdate(1_600_000_000 + int.from_bytes(digest[:3], "big"),
                                      usegmt=True)
        kind = installer["validators"]
        headers = {}
        if kind in ("strong", "weak"):
            headers["ETag"] = etag if kind == "strong" else "W/" + etag
        if kind != "none":
            headers["Last-Modified"] = date
        return headers

    def requested_start(self, installer, validators, size):
        """Where the body starts: the offset of "Range: bytes=N-" when it may be served (If-Range
        absent or naming the strong ETag or the date exactly), otherwise 0; None when the range
        lies beyond the file."""
        match = re.fullmatch(r"bytes=(\d+)-", self.headers.get("Range", "").strip())
        if not match or installer["status"] != 200:
            return 0
        if_range = self.headers.get("If-Range")
        if if_range is not None:
            etag = validators.get("ETag", "")
            if not ((if_range == etag and not etag.startswith("W/"))
                    or if_range == validators.get("Last-Modified")):
                return 0
        start = int(match.group(1))
        return start if start < size else None

    def serve_installer(self, installer):
        time.sleep(installer["delay_ms"] / 1000)
        data = installer["data"]
        number = self.server.state.count_installer_request()
        if number <= installer["busy"]:
            extra = {}
            if installer["retry_after"] is not None:
                extra["Retry-After"] = installer["retry_after"]
            self.entry["status"] = 503
            self.reply(503, b"busy\n", extra=extra)
            return
        validators = self.validator_headers(installer)
        first = self.requested_start(installer, validators, len(data))
        if first is None:
            self.entry["status"] = 416
            self.reply(416, b"", extra={"Content-Range": f"bytes */{len(data)}", **validators})
            return
        status = 206 if first else installer["status"]
        self.entry["status"] = status
        self.send_response(status)
        self.send_header("Content-Type", "application/octet-stream")
        self.send_header("Content-Length", str(len(data) - first))
        if first:
            self.send_header("Content-Range", f"bytes {first}-{len(data) - 1}/{len(data)}")
        for name, value in validators.items():
            self.send_header(name, value)
        self.end_headers()
        if not self.send_body:
            return
        limit = installer["close_after"]
        cut_times = installer["cut_times"]
        if cut_times is not None and number - installer["busy"] > cut_times:
            limit = None
        sent_end = len(data) if limit is None else max(limit, first)
        pause_at = installer["pause_after"]
        # The pause point splits a chunk, so that exactly that many bytes are out before it.
        pausing = pause_at is not None and first <= pause_at < sent_end
        starts = sorted(set(range(first, sent_end, CHUNK)) | ({pause_at} if pausing else set()))
        for start, end in zip(starts, starts[1:] + [sent_end]):
            if pausing and start == pause_at:
                self.wfile.flush()
                if self.server.state.wait_unless_reset(installer["pause_ms"] / 1000):
                    self.close_connection = True
                    return
            elif start > first and installer["chunk_delay_ms"]:
                time.sleep(installer["chunk_delay_ms"] / 1000)
            self.wfile.write(data[start:end])
            self.entry["sent"] = end - first
        if limit is not None:
            self.reset_connection()

    def reset_connection(self):
        """Ends the connection with a TCP reset and no TLS close_notify, like a dropped line."""
        self.close_connection = True
        self.wfile.flush()
        sock = self.connection
        # A reset throws away whatever the peer has not acknowledged yet, so wait for the bytes
        # already sent to arrive; only then is the cut at exactly close_after bytes.
        deadline = time.monotonic() + 30
        try:
            while time.monotonic() < deadline:
                pending = struct.unpack("i", fcntl.ioctl(sock.fileno(), SIOCOUTQ, b"\0" * 4))[0]
                if pending == 0:
                    break
                time.sleep(0.01)
        except OSError:
            time.sleep(0.5)
        sock.setsockopt(socket.SOL_SOCKET, socket.SO_LINGER, struct.pack("ii", 1, 0))
        sock.close()

    # -- plumbing -------------------------------------------------------------------------------

    def reply(self, status, body, content_type="text/plain", extra=None):
        self.send_response(status)
        self.send_header("Content-Type", content_type)
        self.send_header("Content-Length", str(len(body)))
        for name, value in (extra or {}).items():
            self.send_header(name, value)
        self.end_headers()
        if self.send_body and status not in (204, 304):
            self.wfile.write(body)

    def log_message(self, format, *args):
        log.info("%d %s - %s", self.port, self.address_string(), format % args)


class TlsListener(http.server.ThreadingHTTPServer):
    """One port. The TLS handshake runs in the request's own thread, so a stalled client never
    holds up the accept loop. Without a TLS context it serves plain HTTP."""

    daemon_threads = True
    block_on_close = False

    def __init__(self, port, tls_context, state, listeners):
        super().__init__(("127.0.0.1", port), Handler)
        self.tls_context = tls_context
        self.plain = tls_context is None
        self.state = state
        self.listeners = listeners

    def finish_request(self, request, client_address):
        request.settimeout(Handler.timeout)
        if self.plain:
            self.RequestHandlerClass(request, client_address, self)
            return
        try:
            tls = self.tls_context.wrap_socket(request, server_side=True)
        except (ssl.SSLError, OSError) as e:
            log.info("%d TLS handshake with %s failed: %s", self.server_address[1],
                     client_address[0], e)
            return
        try:
            self.RequestHandlerClass(tls, client_address, self)
        finally:
            tls.close()

    def handle_error(self, request, client_address):
        error = sys.exc_info()[1]
        if isinstance(error, (ConnectionError, TimeoutError, ssl.SSLError)):
            log.info("%d client %s went away: %s", self.server_address[1], client_address[0], error)
        else:
            super().handle_error(request, client_address)


class Listeners:
    """The service's ports. A port can be closed and reopened while the others keep serving, so
    that a client sees a refused connection on that one port only."""

    def __init__(self, tls_context, state):
        self.tls_context, self.state = tls_context, state
        self.lock = threading.Lock()
        self.ports = []
        self.open = {}  # port -> its TlsListener; closed ports are absent
        self.http_port = None

    def start_plain(self, port):
        """The plain-HTTP listener; gives its port."""
        listener = TlsListener(port, None, self.state, self)
        self.http_port = listener.server_address[1]
        threading.Thread(target=listener.serve_forever, daemon=True,
                         name=f"http-{self.http_port}").start()
        return self.http_port

    def start(self, port):
        """Listens on port (0: a free one) and serves it in a thread of its own; gives the port."""
        listener = TlsListener(port, self.tls_context, self.state, self)
        port = listener.server_address[1]
        threading.Thread(target=listener.serve_forever, daemon=True, name=f"port-{port}").start()
        with self.lock:
            if port not in self.ports:
                self.ports.append(port)
            self.open[port] = listener
        return port

    def set_listening(self, port, on):
        with self.lock:
            if port not in self.ports:
                raise BadRequest(f"port {port} is not one of the service's ports")
            listener = None if on else self.open.pop(port, None)
            reopen = on and port not in self.open
        if listener is not None:
            # shutdown waits for the accept loop, which never runs a request itself; closing the
            # socket then makes the system refuse new connections. Open connections carry on.
            listener.shutdown()
            listener.server_close()
        if reopen:
            self.start(port)

    def reopen_all(self):
        with self.lock:
            closed = [port for port in self.ports if port not in self.open]
        for port in closed:
            self.set_listening(port, True)


def main(argv=None):
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--ports", type=int, nargs="+", default=[47443, 47444, 47445, 47446])
    parser.add_argument("--cert", required=True, help="PEM chain: server certificate, then the CA")
    parser.add_argument("--key", required=True, help="PEM private key of the server certificate")
    parser.add_argument("--http-port", type=int, default=0,
                        help="plain-HTTP port (default: a free one)")
    parser.add_argument("--installer", help="file served as the installer (default: generated)")
    parser.add_argument("--ready-file", help="written once every port is listening")
    parser.add_argument("--quiet", action="store_true", help="log nothing but errors")
    args = parser.parse_args(argv)

    logging.basicConfig(level=logging.WARNING if args.quiet else logging.INFO,
                        format="%(asctime)s %(message)s", stream=sys.stderr)
    tls_context = ssl.SSLContext(ssl.PROTOCOL_TLS_SERVER)
    tls_context.load_cert_chain(args.cert, args.key)
    state = ServiceState(args.installer)

    listeners = Listeners(tls_context, state)
    ports = []
    for port in args.ports:
        try:
            # Port 0 asks the system for a free port; the ready file tells which ones were given.
            ports.append(listeners.start(port))
        except OSError as e:
            log.error("cannot listen on 127.0.0.1:%d: %s", port, e.strerror)
            return 1
    try:
        http_port = listeners.start_plain(args.http_port)
    except OSError as e:
        log.error("cannot listen on 127.0.0.1:%d: %s", args.http_port, e.strerror)
        return 1
    log.info("listening on %s (HTTPS), %d (HTTP)", ", ".join(str(p) for p in ports), http_port)
    if args.ready_file:
        temporary = args.ready_file + ".tmp"
        with open(temporary, "w") as f:
            f.write(json.dumps({"pid": os.getpid(), "ports": ports, "http_port": http_port})
                    + "\n")
        os.replace(temporary, args.ready_file)

    stop = threading.Event()
    for sig in (signal.SIGTERM, signal.SIGINT):
        signal.signal(sig, lambda *_: stop.set())
    stop.wait()
    # The listener threads are daemons: leaving main closes every socket at once, so a restart
    # on the same ports can follow immediately.
    return 0


if __name__ == "__main__":
    sys.exit(main())
