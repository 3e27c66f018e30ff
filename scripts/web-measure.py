#!/usr/bin/env python3
"""Measures the browser build in real time in headless Chromium.

  web-measure.py benchmark   the page's per-order table beside the desktop's
                             `glimmerfrost --benchmark`, run one after the other,
                             and the ratio of their average frame costs
  web-measure.py sync        plays the whole show live (Web Audio, no click) and
                             prints the latest an instrument sync fired after
                             its note's start, by the audio clock

The site is served on 127.0.0.1 by Python's http.server; the page sends its
result back with one POST, after which Chromium is stopped.
"""
import argparse
import functools
import http.server
import os
import re
import shutil
import subprocess
import sys
import tempfile
import threading


class Handler(http.server.SimpleHTTPRequestHandler):
    report = None
    received = threading.Event()

    def do_POST(self):
        length = int(self.headers.get("Content-Length", "0"))
        Handler.report = self.rfile.read(length).decode()
        self.send_response(204)
        self.end_headers()
        Handler.received.set()

    def log_message(self, *args):
        pass


def run_page(chromium, site, query, limit_s):
    server = http.server.ThreadingHTTPServer(("127.0.0.1", 0), functools.partial(Handler, directory=site))
    threading.Thread(target=server.serve_forever, daemon=True).start()
    url = f"http://127.0.0.1:{server.server_address[1]}/index.html?{query}&report=/report"
    with tempfile.TemporaryDirectory(ignore_cleanup_errors=True) as profile:  # Chromium's helpers may outlive it
        browser = subprocess.Popen([chromium, "--headless", "--no-sandbox", "--disable-gpu",
                                    "--autoplay-policy=no-user-gesture-required", f"--user-data-dir={profile}",
                                    url], stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        try:
            if not Handler.received.wait(limit_s):
                sys.exit(f"web-measure: no result from the page within {limit_s} s")
        finally:
            browser.terminate()
            browser.wait()
    server.shutdown()
    return Handler.report


def all_ms(table):
    match = re.search(r"^\s*all\s+\d+\s+([\d.]+)", table, re.M)
    return float(match.group(1)) if match else None


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("what", choices=["benchmark", "sync"])
    parser.add_argument("--desktop", default="build", help="the desktop build folder")
    parser.add_argument("--site", default="build-web/site", help="the web site folder")
    args = parser.parse_args()
    chromium = shutil.which("chromium")
    if chromium is None:
        sys.exit("web-measure: chromium not found (scripts/setup.sh --web)")
    if not os.path.isfile(os.path.join(args.site, "glimmerfrost.wasm")):
        sys.exit(f"web-measure: {args.site}: no web site (make web)")
    site = os.path.realpath(args.site)

    if args.what == "sync":
        print(run_page(chromium, site, "autoplay", 600).strip())
        return 0
    program = os.path.join(args.desktop, "src", "glimmerfrost")
    run = subprocess.run([program, "--benchmark"], capture_output=True, text=True)
    if run.returncode != 0:
        sys.exit(f"web-measure: {program} --benchmark failed: {run.stderr.strip()}")
    desktop = run.stdout
    browser = run_page(chromium, site, "benchmark", 600)
    print("desktop:\n" + desktop + "\nbrowser:\n" + browser)
    d, b = all_ms(desktop), all_ms(browser)
    if d and b:
        print(f"average frame: browser {b:.3f} ms, desktop {d:.3f} ms: {b / d:.2f} x the desktop")
    return 0


if __name__ == "__main__":
    sys.exit(main())
