"""What the end-to-end tests stand on: the local install service, nginx and squid (started by
scripts/wine-env.sh), Wine and its registry, dialog_probe.exe, the pointer and keyboard (xdotool)
and screenshots (ImageMagick). Standard library only.

Environment:
  SETUP_BUILD_DIR    the Windows build directory (Setup.exe, tools/*.exe)
  SETUP_TEST_ORIGIN  the service origin the tests control (default https://localhost:47443)
  SETUP_TEST_CA      the test CA (ca.pem) that the service's certificate chains to
  DISPLAY, WINEPREFIX  the X display and the Wine prefix the programs run in
"""

import json
import os
import shlex
import shutil
import ssl
import subprocess
import sys
import tempfile
import time
import urllib.error
import urllib.parse
import urllib.request

REPO = os.path.dirname(os.path.dirname(os.path.dirname(os.path.abspath(__file__))))
SERVICE_SCRIPT = os.path.join(REPO, "tools", "install_service.py")
WINE_ENV_SCRIPT = os.path.join(REPO, "scripts", "wine-env.sh")
APP_TITLE = "Ostrevo Software - Setup"


def build_dir():
    return os.environ.get("SETUP_BUILD_DIR", os.path.join(REPO, "build", "windows"))


def tool_exe(name):
    return os.path.join(build_dir(), "tools", name)


def setup_exe():
    return os.path.join(build_dir(), "Setup.exe")


def windows_path(path):
    """A Linux path as Wine sees it on drive Z:."""
    return "Z:" + os.path.abspath(path).replace("/", "\\")


# -- the install service -------------------------------------------------------------------------


class ServiceError(Exception):
    pass


class Service:
    """Client of the service's control API (see tools/install_service.py)."""

    def __init__(self, origin=None, ca_file=None):
        self.origin = (origin or os.environ.get("SETUP_TEST_ORIGIN", "https://localhost:47443"))
        self.origin = self.origin.rstrip("/")
        ca_file = ca_file or os.environ.get("SETUP_TEST_CA")
        if not ca_file:
            raise ServiceError("the test CA is unknown: set SETUP_TEST_CA")
        self.tls = ssl.create_default_context(cafile=ca_file)

    def get(self, path, params=None, timeout=30):
        """GET on the service; returns (status, headers, body) whatever the status."""
        url = self.origin + path
        if params:
            url += "?" + "&".join(f"{name}={value}" for name, value in params)
        try:
            with urllib.request.urlopen(url, context=self.tls, timeout=timeout) as response:
                return response.status, response.headers, response.read()
        except urllib.error.HTTPError as e:
            return e.code, e.headers, e.read()

    def control(self, name, **params):
        encoded = []
        for key, value in params.items():
            if value is None or value is False:
                continue
            if value is True:
                value = 1
            raw = value.encode("latin-1") if isinstance(value, str) else value
            if not isinstance(raw, bytes):
                raw = str(raw).encode()
            # Every byte percent-encoded that is not plain ASCII, so bodies travel unchanged.
            encoded.append((key, urllib.parse.quote_from_bytes(raw, safe="")))
        status, _, body = self.get("/_control/" + name, encoded)
        if status != 200:
            raise ServiceError(f"/_control/{name} answered {status}: {body.decode(errors='replace')}")
        return body

    def reset(self):
        self.control("reset")

    def answer(self, status=None, body=None, announce=None, forever=False, delay_ms=None,
               redirect=None, plain=False, sha256=None):
        """What the install-location path answers; body is bytes (or Latin-1 text) sent verbatim.
        plain announces the installer on the service's plain-HTTP port; sha256 adds the third
        field: "right" (the served installer's hash) or a text sent as it is."""
        self.control("answer", status=status, body=body, announce=announce, forever=forever,
                     delay_ms=delay_ms, redirect=redirect, plain=plain, sha256=sha256)

    def installer(self, status=None, size=None, fill=None, close_after=None, delay_ms=None,
                  chunk_delay_ms=None, redirect=None, pause_after=None, pause_ms=None, file=None,
                  cut_times=None, busy=None, retry_after=None, validators=None):
        """What the installer path serves; file names a local file whose bytes it serves. The
        cut (close_after) of only the first cut_times requests, 503 with retry_after for the
        first busy ones, the validators it sends (strong, weak, date, none)."""
        self.control("installer", status=status, size=size, fill=fill, close_after=close_after,
                     delay_ms=delay_ms, chunk_delay_ms=chunk_delay_ms, redirect=redirect,
                     pause_after=pause_after, pause_ms=pause_ms,
                     file=file.encode("utf-8") if file else None, cut_times=cut_times,
                     busy=busy, retry_after=retry_after, validators=validators)

    def info(self):
        """{"ports": the HTTPS ports, "http_port": the plain-HTTP port}."""
        return json.loads(self.control("info"))

    def listen(self, port, on):
        """Closes one of the service's ports (connections to it are then refused) or reopens it;
        reset() reopens every closed port. Send this through another port than the one closed."""
        self.control("listen", port=port, on=1 if on else 0)

    def log(self):
        return json.loads(self.control("log"))

    def installer_bytes(self):
        return self.control("installer_bytes")


def make_certificates(directory):
    """The test CA and the server chain, made with the project's own script function."""
    subprocess.run(["bash", "-c", 'source "$0"; setup_certificates "$1"', WINE_ENV_SCRIPT,
                    directory], check=True, stdin=subprocess.DEVNULL)
    return {name: os.path.join(directory, name) for name in ("ca.pem", "server.pem", "server.key")}


class LocalService:
    """Starts tools/install_service.py on the given ports for the length of a with-block; the
    service's output goes to log_path (default: a file in a new temporary directory)."""

    def __init__(self, ports, cert, key, installer=None, log_path=None):
        self.ports, self.cert, self.key = list(ports), cert, key
        self.installer, self.log_path = installer, log_path
        self.process = None

    def __enter__(self):
        workdir = tempfile.mkdtemp(prefix="install-service-")
        ready = os.path.join(workdir, "ready.json")
        command = [sys.executable, SERVICE_SCRIPT, "--cert", self.cert, "--key", self.key,
                   "--ready-file", ready, "--ports", *map(str, self.ports)]
        if self.installer:
            command += ["--installer", self.installer]
        log_path = self.log_path or os.path.join(workdir, "service.log")
        with open(log_path, "ab") as log_file:
            self.process = subprocess.Popen(command, stdin=subprocess.DEVNULL, stdout=log_file,
                                            stderr=subprocess.STDOUT)
        deadline = time.monotonic() + 20
        while not os.path.exists(ready):
            if self.process.poll() is not None or time.monotonic() > deadline:
                self.__exit__(None, None, None)
                raise ServiceError(f"the service did not start; see {log_path}")
            time.sleep(0.05)
        with open(ready) as f:
            # Port 0 in the list gets a free port; the service reports which one.
            self.ports = json.load(f)["ports"]
        os.remove(ready)
        self.log_path = log_path
        return self

    def origin(self, index=0):
        return f"https://localhost:{self.ports[index]}"

    def __exit__(self, *exc):
        if self.process and self.process.poll() is None:
            self.process.terminate()
            try:
                self.process.wait(10)
            except subprocess.TimeoutExpired:
                self.process.kill()
                self.process.wait()
        return False


# -- servers started by the scripts --------------------------------------------------------------


class ScriptServers:
    """Servers started by functions of scripts/wine-env.sh (setup_start_nginx, setup_start_squid)
    for the length of a with-block. Each call is a list: the function's name and its arguments.
    They run under a bash process of their own, which waits until every server listens; leaving
    the block ends that process, whose exit trap stops each server by its process id."""

    def __init__(self, *calls, log_path):
        self.calls, self.log_path = calls, log_path
        self.process = None

    def __enter__(self):
        ready = self.log_path + ".ready"
        if os.path.exists(ready):
            os.remove(ready)
        starts = "".join(f"{shlex.join(map(str, call))} || exit 1\n" for call in self.calls)
        script = ('source "$0"\ntrap setup_stop_all EXIT\ntrap "exit 0" TERM INT\n'
                  f'{starts}: >"$1"\nwait\n')
        with open(self.log_path, "wb") as log_file:
            self.process = subprocess.Popen(["bash", "-c", script, WINE_ENV_SCRIPT, ready],
                                            stdin=subprocess.DEVNULL, stdout=log_file,
                                            stderr=subprocess.STDOUT)
        deadline = time.monotonic() + 60
        while not os.path.exists(ready):
            if self.process.poll() is not None or time.monotonic() > deadline:
                self.__exit__(None, None, None)
                with open(self.log_path, errors="replace") as f:
                    raise ServiceError(f"the servers did not start: {f.read().strip()}")
            time.sleep(0.05)
        return self

    def __exit__(self, *exc):
        if self.process and self.process.poll() is None:
            self.process.terminate()
            try:
                self.process.wait(30)
            except subprocess.TimeoutExpired:
                self.process.kill()
                self.process.wait()
        return False


# -- Wine ----------------------------------------------------------------------------------------


class WineResult:
    def __init__(self, returncode, stdout, stderr):
        self.returncode, self.stdout, self.stderr = returncode, stdout, stderr


def wine_environment(env=None):
    merged = dict(os.environ)
    merged.setdefault("WINEDEBUG", "-all")
    merged.setdefault("WINEARCH", "win64")
    # Setup's retries wait 50 ms, 100 ms, ... instead of 1 s, 2 s, ... (a seam of test builds).
    merged.setdefault("SETUP_TEST_RETRY_UNIT_MS", "50")
    merged.update(env or {})
    return merged


def wine_start(exe, args=(), env=None, output_dir=None):
    """Starts a Windows program and returns its Popen. Its output goes to files (never to pipes:
    Wine's helper processes would keep them open); their paths are .stdout_path/.stderr_path."""
    output_dir = output_dir or tempfile.mkdtemp(prefix="wine-run-")
    name = os.path.basename(exe)
    stdout_path = os.path.join(output_dir, name + ".stdout")
    stderr_path = os.path.join(output_dir, name + ".stderr")
    with open(stdout_path, "wb") as out, open(stderr_path, "wb") as err:
        process = subprocess.Popen(["wine", exe, *map(str, args)], stdin=subprocess.DEVNULL,
                                   stdout=out, stderr=err, env=wine_environment(env))
    process.stdout_path, process.stderr_path = stdout_path, stderr_path
    return process


def read_output(path):
    with open(path, "rb") as f:
        return f.read().decode("utf-8", "replace").replace("\r\n", "\n")


def wine_run(exe, args=(), env=None, timeout=60):
    """Runs a Windows program to its end; a program still running at the timeout is killed and
    subprocess.TimeoutExpired raised."""
    output_dir = tempfile.mkdtemp(prefix="wine-run-")
    try:
        process = wine_start(exe, args, env, output_dir)
        try:
            returncode = process.wait(timeout)
        except subprocess.TimeoutExpired:
            process.kill()
            process.wait()
            raise
        return WineResult(returncode, read_output(process.stdout_path),
                          read_output(process.stderr_path))
    finally:
        shutil.rmtree(output_dir, ignore_errors=True)


def stop(process, timeout=10):
    """Ends a program started with wine_start, if it has not ended by itself."""
    if process.poll() is None:
        process.terminate()
        try:
            process.wait(timeout)
        except subprocess.TimeoutExpired:
            process.kill()
            process.wait()


def unix_path(path):
    result = subprocess.run(["winepath", "-u", path], stdin=subprocess.DEVNULL,
                            capture_output=True, text=True, env=wine_environment(), timeout=30)
    return result.stdout.strip()


_temp_path = None
_temp_dir = None


def wine_temp_path():
    """The prefix's %TEMP% as Windows programs see it, without a final backslash."""
    global _temp_path
    if _temp_path is None:
        result = wine_run("cmd", ["/c", "echo", "%TEMP%"], timeout=30)
        _temp_path = result.stdout.strip().rstrip("\\")
    return _temp_path


def wine_temp_dir():
    """The prefix's %TEMP%, where Setup saves Install.exe, as a Linux path."""
    global _temp_dir
    if _temp_dir is None:
        _temp_dir = os.path.realpath(unix_path(wine_temp_path()))
    return _temp_dir


def kill_windows_process(pid):
    """Ends a Windows process of the prefix by its Windows process id (as window() reports it),
    for programs that wine_start did not start itself, such as one started through cmd."""
    result = wine_run("taskkill", ["/f", "/pid", pid], timeout=30)
    return result.returncode == 0


def registry_value(key, name):
    """A value of the prefix's registry as reg.exe shows it, (type, data), e.g. ("REG_DWORD",
    "0x1"); None when it is not there."""
    result = wine_run("reg", ["query", key, "/v", name], timeout=60)
    if result.returncode != 0:
        return None
    for line in result.stdout.splitlines():
        fields = line.strip().split(None, 2)
        if len(fields) >= 2 and fields[0].lower() == name.lower() and fields[1].startswith("REG_"):
            return fields[1], fields[2] if len(fields) == 3 else ""
    return None


def set_registry_value(key, name, value):
    """Sets a value of the prefix's registry from a (type, data) pair, or deletes it for None."""
    if value is None:
        args = ["delete", key, "/v", name, "/f"]
        if registry_value(key, name) is None:
            return
    else:
        args = ["add", key, "/v", name, "/t", value[0], "/d", value[1], "/f"]
    result = wine_run("reg", args, timeout=60)
    if result.returncode != 0:
        raise RuntimeError(f"reg {' '.join(args)} failed: {result.stdout}{result.stderr}")


def sample_runs(record_path):
    """The runs sample_installer.exe recorded in its record file (one JSON object each)."""
    if not os.path.exists(record_path):
        return []
    with open(record_path, encoding="utf-8") as f:
        return [json.loads(line) for line in f if line.strip()]


# -- dialog_probe.exe ----------------------------------------------------------------------------


class ProbeError(Exception):
    pass


def probe(command, title, timeout_ms=None, for_ms=None, button=None, class_name=None):
    """Runs dialog_probe.exe; returns (found, parsed JSON or None)."""
    args = [command, title]
    waited = 0
    if timeout_ms is not None:
        args += ["--timeout-ms", timeout_ms]
        waited = timeout_ms
    if for_ms is not None:
        args += ["--for-ms", for_ms]
        waited = max(waited, for_ms)
    if button is not None:
        args += ["--button", button]
    if class_name is not None:
        args += ["--class", class_name]
    result = wine_run(tool_exe("dialog_probe.exe"), args, timeout=60 + 2 * waited / 1000)
    if result.returncode not in (0, 1):
        raise ProbeError(f"dialog_probe {command} failed ({result.returncode}): {result.stderr}")
    line = result.stdout.strip().splitlines()[-1] if result.stdout.strip() else ""
    return result.returncode == 0, (json.loads(line) if line else None)


def sign_in(title, user, password, timeout_ms=15000):
    """Types a user name and a password into a sign-in dialog and presses OK; returns what the
    dialog held: {"title", "user_box", "password_box", "user", "buttons"}."""
    result = wine_run(tool_exe("dialog_probe.exe"),
                      ["signin", title, "--user", user, "--password", password, "--timeout-ms",
                       timeout_ms], timeout=60 + 2 * timeout_ms / 1000)
    lines = result.stdout.strip().splitlines()
    dialog = json.loads(lines[-1]) if lines else None
    if result.returncode != 0:
        raise ProbeError(f"could not sign in through {title!r}: {dialog} {result.stderr.strip()}")
    return dialog


def wait_dialog(title=APP_TITLE, timeout_ms=15000):
    """The message dialog with that title: {"hwnd", "title", "text", "icon", "buttons"}."""
    found, dialog = probe("wait", title, timeout_ms=timeout_ms)
    if not found:
        raise ProbeError(f"no dialog titled {title!r} appeared within {timeout_ms} ms")
    return dialog


def press(title=APP_TITLE, button="OK", timeout_ms=15000):
    """Clicks a button of the dialog and waits until it closes; returns the dialog it answered."""
    found, dialog = probe("press", title, timeout_ms=timeout_ms, button=button)
    if not found:
        raise ProbeError(f"could not press {button!r} in {title!r}: {dialog}")
    return dialog


def no_dialog(title=APP_TITLE, for_ms=2000):
    """None when no such dialog appears within for_ms, else the dialog that did."""
    found, dialog = probe("none", title, for_ms=for_ms)
    return None if found else dialog


def window(title, timeout_ms=15000, class_name=None):
    """The topmost visible window with that title, of any class unless one is given (a message
    dialog shares the setup window's title): {"hwnd","class","client_screen_x","client_screen_y",
    "client_w","client_h","window_screen_x","window_screen_y","window_w","window_h","pid"} in Wine
    screen coordinates (window_*: the outer frame, title bar included)."""
    found, info = probe("window", title, timeout_ms=timeout_ms, class_name=class_name)
    if not found:
        raise ProbeError(f"no window titled {title!r} appeared within {timeout_ms} ms")
    return info


def gone(title, timeout_ms=15000):
    """True once no window with that title is left (the program ended)."""
    found, _ = probe("gone", title, timeout_ms=timeout_ms)
    return found


# -- pointer, keyboard, screen -------------------------------------------------------------------


def xdotool(*args):
    return subprocess.run(["xdotool", *map(str, args)], stdin=subprocess.DEVNULL,
                          capture_output=True, text=True, timeout=30, check=True).stdout


def desktop_origin():
    """Where Wine's virtual desktop sits on the X screen; Wine's screen coordinates start there."""
    found = subprocess.run(["xdotool", "search", "--name", "Wine desktop$"],
                           stdin=subprocess.DEVNULL, capture_output=True, text=True, timeout=30)
    ids = found.stdout.split()
    if not ids:
        return 0, 0
    geometry = xdotool("getwindowgeometry", "--shell", ids[0])
    values = dict(line.split("=", 1) for line in geometry.split() if "=" in line)
    return int(values.get("X", 0)), int(values.get("Y", 0))


def screen_point(info, x, y):
    """X screen coordinates of a point given in the client area of a window from window()."""
    dx, dy = desktop_origin()
    return dx + info["client_screen_x"] + x, dy + info["client_screen_y"] + y


def move_pointer(info, x, y):
    xdotool("mousemove", *screen_point(info, x, y))


def click(info, x, y, button=1):
    move_pointer(info, x, y)
    xdotool("click", button)


def activate(title, timeout_ms=15000, class_name=None):
    """Brings the window to the front as a person would, with a click on its title bar."""
    info = window(title, timeout_ms, class_name)
    click(info, info["client_w"] // 2, -8)
    return info


def key(title, *keys, class_name=None):
    """Activates the window, then types keys into it (xdotool key names: r, Return, alt+F4)."""
    activate(title, class_name=class_name)
    xdotool("key", "--clearmodifiers", *keys)


def read_rgb(path):
    """The pixels of an image file: (width, height, pixel), where pixel(x, y) gives (r, g, b)."""
    size = subprocess.run(["identify", "-format", "%w %h", path], stdin=subprocess.DEVNULL,
                          capture_output=True, text=True, timeout=30, check=True).stdout
    width, height = map(int, size.split())
    data = subprocess.run(["convert", path, "-depth", "8", "rgb:-"], stdin=subprocess.DEVNULL,
                          capture_output=True, timeout=30, check=True).stdout
    if len(data) != width * height * 3:
        raise ValueError(f"{path}: {len(data)} bytes of pixels for {width} x {height}")

    def pixel(x, y):
        if not (0 <= x < width and 0 <= y < height):
            raise IndexError(f"({x}, {y}) lies outside {width} x {height}")
        offset = (y * width + x) * 3
        return tuple(data[offset:offset + 3])

    return width, height, pixel


def screenshot(path, crop=None):
    """The whole X screen, or only the client area of a window from window() (or an x, y, w, h
    tuple in X screen coordinates)."""
    command = ["import", "-window", "root"]
    if crop is not None:
        if isinstance(crop, dict):
            x, y = screen_point(crop, 0, 0)
            w, h = crop["client_w"], crop["client_h"]
        else:
            x, y, w, h = crop
        command += ["-crop", f"{w}x{h}+{x}+{y}", "+repage"]
    subprocess.run(command + [path], stdin=subprocess.DEVNULL, capture_output=True, timeout=30,
                   check=True)
    return path
