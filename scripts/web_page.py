"""What the scripts that run the browser build share: serving the site on
127.0.0.1, finding and starting headless Chromium, reading a page's DOM, and
talking to a live page over Chromium's DevTools protocol.

Used by web-test.py, web-page-test.py, web-measure.py and serve-web.py.
"""
import base64
import contextlib
import functools
import http.server
import json
import os
import shutil
import signal
import socket
import subprocess
import sys
import tempfile
import threading
import time
import urllib.parse
import urllib.request

# Headless, no GPU and no sandbox (CI and containers run as root).
CHROMIUM_FLAGS = ["--headless", "--no-sandbox", "--disable-gpu"]


class SiteHandler(http.server.SimpleHTTPRequestHandler):
    """Serves the site's files with the types browsers insist on, without a line per request."""

    extensions_map = {
        **http.server.SimpleHTTPRequestHandler.extensions_map,
        ".wasm": "application/wasm",
        ".webmanifest": "application/manifest+json",
        ".js": "text/javascript",
    }

    def log_request(self, code="-", size="-"):
        pass  # every page load fetches a dozen files; listing them helps nobody

    def log_error(self, format, *args):
        if not (args and args[0] == 404):  # a missing file is the page's to report, in words
            super().log_error(format, *args)


class SiteServer(http.server.ThreadingHTTPServer):
    daemon_threads = True

    def handle_error(self, request, client_address):
        # Chromium drops connections it no longer needs (a page closed mid-download,
        # a browser stopped): nothing went wrong on this side.
        if isinstance(sys.exc_info()[1], (BrokenPipeError, ConnectionResetError)):
            return
        super().handle_error(request, client_address)


def make_server(site, port=0, handler=SiteHandler):
    """A server of `site` on 127.0.0.1:port (0: any free port); OSError when the port is taken."""
    return SiteServer(("127.0.0.1", port), functools.partial(handler, directory=os.path.realpath(site)))


@contextlib.contextmanager
def serving(site, handler=SiteHandler):
    """Serves `site` in a background thread; yields the server, whose address is base_url(server)."""
    server = make_server(site, 0, handler)
    threading.Thread(target=server.serve_forever, daemon=True).start()
    try:
        yield server
    finally:
        server.shutdown()
        server.server_close()


def base_url(server):
    return f"http://127.0.0.1:{server.server_address[1]}/"


def find_chromium(tool):
    chromium = shutil.which("chromium")
    if chromium is None:
        sys.exit(f"{tool}: chromium not found (scripts/setup.sh --web)")
    return chromium


def check_site(tool, site):
    if not os.path.isfile(os.path.join(site, "glimmerfrost.wasm")):
        sys.exit(f"{tool}: {site}: no web site (make web)")


@contextlib.contextmanager
def profile_dir():
    # Chromium's helper processes may outlive the browser and still write into it.
    with tempfile.TemporaryDirectory(ignore_cleanup_errors=True) as profile:
        yield profile


def dump_dom(chromium, url, budget_ms, timeout_s=120, attempts=3):
    """The page's DOM once Chromium has run it for budget_ms of virtual time.

    Headless Chromium now and then never returns from --dump-dom (seen once in CI
    on a page that takes a second). A run that outlasts timeout_s is stopped with
    all its helper processes and started afresh, up to `attempts` runs in all; then
    the page is reported as never having finished.
    """
    for attempt in range(1, attempts + 1):
        with profile_dir() as profile:
            process = subprocess.Popen([chromium, *CHROMIUM_FLAGS, "--mute-audio", f"--user-data-dir={profile}",
                                        f"--virtual-time-budget={budget_ms}", "--dump-dom", url],
                                       stdout=subprocess.PIPE, stderr=subprocess.DEVNULL, text=True,
                                       start_new_session=True)
            try:
                dom, _ = process.communicate(timeout=timeout_s)
            except subprocess.TimeoutExpired:
                dom = None
                # The renderer and other helpers share the browser's session; none may linger.
                with contextlib.suppress(ProcessLookupError):
                    os.killpg(process.pid, signal.SIGKILL)
                process.wait()
                process.stdout.close()
        if dom is not None:
            return dom
        print(f"{os.path.basename(sys.argv[0])}: Chromium did not finish {url} within {timeout_s} s "
              f"(run {attempt} of {attempts})", file=sys.stderr, flush=True)
    raise TimeoutError(f"Chromium did not finish {url} in {attempts} runs of {timeout_s} s")


@contextlib.contextmanager
def browser(chromium, url, *flags, devtools=False, mute=True):
    """A headless Chromium showing `url`, stopped on leaving; yields its profile folder."""
    extra = list(flags) + (["--remote-debugging-port=0"] if devtools else []) + (["--mute-audio"] if mute else [])
    with profile_dir() as profile:
        process = subprocess.Popen([chromium, *CHROMIUM_FLAGS, f"--user-data-dir={profile}", *extra, url],
                                   stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        try:
            yield profile
        finally:
            process.terminate()
            process.wait()


def devtools_page(profile, url, limit_s=30):
    """The DevTools connection of the tab showing `url` in the browser started with devtools=True."""
    port_file = os.path.join(profile, "DevToolsActivePort")
    deadline = time.monotonic() + limit_s
    while not os.path.isfile(port_file) or os.path.getsize(port_file) == 0:
        if time.monotonic() > deadline:
            raise ConnectionError("Chromium opened no DevTools port")
        time.sleep(0.1)
    with open(port_file) as f:
        port = int(f.readline())
    with urllib.request.urlopen(f"http://127.0.0.1:{port}/json/list") as listing:
        target = next(t for t in json.load(listing) if t.get("url", "").startswith(url))
    return DevTools(target["webSocketDebuggerUrl"])


class DevTools:
    """One page's DevTools connection: a WebSocket client of the few frames the protocol uses."""

    def __init__(self, url):
        parts = urllib.parse.urlparse(url)
        self.sock = socket.create_connection((parts.hostname, parts.port), timeout=60)
        key = base64.b64encode(os.urandom(16)).decode()
        self.sock.sendall((f"GET {parts.path} HTTP/1.1\r\nHost: {parts.hostname}:{parts.port}\r\n"
                           f"Upgrade: websocket\r\nConnection: Upgrade\r\nSec-WebSocket-Key: {key}\r\n"
                           "Sec-WebSocket-Version: 13\r\n\r\n").encode())
        self.stream = self.sock.makefile("rb")
        if b" 101 " not in self.stream.readline():
            raise ConnectionError(f"{url}: no WebSocket")
        while self.stream.readline() not in (b"\r\n", b""):
            pass
        self.last_id = 0

    def call(self, method, **params):
        self.last_id += 1
        data = json.dumps({"id": self.last_id, "method": method, "params": params}).encode()
        size = len(data)
        if size < 126:
            header = bytes([0x81, 0x80 | size])
        elif size < 65536:
            header = bytes([0x81, 0x80 | 126]) + size.to_bytes(2, "big")
        else:
            header = bytes([0x81, 0x80 | 127]) + size.to_bytes(8, "big")
        mask = os.urandom(4)
        self.sock.sendall(header + mask + bytes(b ^ mask[i % 4] for i, b in enumerate(data)))
        while True:
            message = json.loads(self.receive())
            if message.get("id") == self.last_id:
                if "error" in message:
                    raise RuntimeError(f"{method}: {message['error'].get('message')}")
                return message.get("result", {})

    def receive(self):
        payload = b""
        while True:
            first, second = self.stream.read(2)
            size = second & 0x7F
            if size >= 126:
                size = int.from_bytes(self.stream.read(2 if size == 126 else 8), "big")
            chunk = self.stream.read(size)
            if first & 0x0F == 8:
                raise ConnectionError("the page closed its DevTools connection")
            if first & 0x0F in (9, 10):
                continue
            payload += chunk
            if first & 0x80:
                return payload.decode()

    def value(self, expression):
        result = self.call("Runtime.evaluate", expression=expression, returnByValue=True)
        if "exceptionDetails" in result:
            raise RuntimeError(f"{expression}: {result['exceptionDetails'].get('text')}")
        return result["result"].get("value")

    def wait(self, expression, what, limit_s=30):
        deadline = time.monotonic() + limit_s
        while True:
            try:
                if self.value(expression):
                    return
            except RuntimeError:  # the page is still loading
                pass
            if time.monotonic() > deadline:
                raise AssertionError(f"{what}: not within {limit_s} s")
            time.sleep(0.05)

    def click(self, element_id, count=1):
        box = self.value(f"(() => {{ const r = document.getElementById('{element_id}').getBoundingClientRect();"
                         " return [r.x + r.width / 2, r.y + r.height / 2]; })()")
        self.click_at(box[0], box[1], count)

    def click_at(self, x, y, count=1):
        for n in range(1, count + 1):
            for kind in ("mousePressed", "mouseReleased"):
                self.call("Input.dispatchMouseEvent", type=kind, x=x, y=y, button="left", clickCount=n)

    def key(self, name, code, key_code):
        for kind in ("keyDown", "keyUp"):
            self.call("Input.dispatchKeyEvent", type=kind, key=name, code=code, windowsVirtualKeyCode=key_code)
