#!/usr/bin/env python3
"""Measures the browser build in real time in headless Chromium.

  web-measure.py benchmark   the page's per-order table beside the desktop's
                             `glimmerfrost --benchmark`, run one after the other
                             (--runs N times, alternating), and the browser's
                             cost of a frame as a multiple of the desktop's,
                             per order and on average, from the median of the
                             runs and from the fastest run (on a busy machine
                             the least disturbed)
  web-measure.py sync        plays the whole show live (Web Audio, no click) and
                             prints the latest an instrument sync fired after
                             its note's start, by the audio clock

The site is served on 127.0.0.1 by Python's http.server; the page sends its
result back with one POST, after which Chromium is stopped.
"""
import argparse
import os
import re
import statistics
import subprocess
import sys
import threading

import web_page


class Handler(web_page.SiteHandler):
    """The site, and the one POST that carries the page's result."""

    report = None
    received = threading.Event()

    def end_headers(self):
        # Cross-origin isolation: Chromium then gives performance.now() a 5 us
        # resolution instead of 100 us, which matters for the orders whose frames
        # cost a few tens of microseconds (every file of the site is same-origin).
        self.send_header("Cross-Origin-Opener-Policy", "same-origin")
        self.send_header("Cross-Origin-Embedder-Policy", "require-corp")
        super().end_headers()

    def do_POST(self):
        length = int(self.headers.get("Content-Length", "0"))
        Handler.report = self.rfile.read(length).decode()
        self.send_response(204)
        self.end_headers()
        Handler.received.set()


def run_page(chromium, site, query, limit_s):
    Handler.received.clear()
    with web_page.serving(site, Handler) as server:
        url = f"{web_page.base_url(server)}index.html?{query}&report=/report"
        with web_page.browser(chromium, url, "--autoplay-policy=no-user-gesture-required", mute=False):
            if not Handler.received.wait(limit_s):
                sys.exit(f"web-measure: no result from the page within {limit_s} s")
    return Handler.report


def order_ms(table):
    """The ms/frame column of a benchmark table, by order ("all" for the average)."""
    return {m.group(1): float(m.group(2)) for m in re.finditer(r"^\s*(\d+|all)\s+\d+\s+([\d.]+)", table, re.M)}


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("what", choices=["benchmark", "sync"])
    parser.add_argument("--desktop", default="build", help="the desktop build folder")
    parser.add_argument("--site", default="build-web/site", help="the web site folder")
    parser.add_argument("--runs", type=int, default=3, help="benchmark: runs of each, for the medians (default 3)")
    args = parser.parse_args()
    if args.runs < 1:
        sys.exit(f"web-measure: --runs {args.runs}: needs at least one run")
    chromium = web_page.find_chromium("web-measure")
    web_page.check_site("web-measure", args.site)
    site = os.path.realpath(args.site)

    if args.what == "sync":
        print(run_page(chromium, site, "autoplay", 600).strip())
        return 0
    program = os.path.join(args.desktop, "src", "glimmerfrost")
    desktop_runs, browser_runs = [], []
    for _ in range(args.runs):
        run = subprocess.run([program, "--benchmark"], capture_output=True, text=True)
        if run.returncode != 0:
            sys.exit(f"web-measure: {program} --benchmark failed: {run.stderr.strip()}")
        browser = run_page(chromium, site, "benchmark", 600)
        print("desktop:\n" + run.stdout + "\nbrowser:\n" + browser)
        desktop_runs.append(order_ms(run.stdout))
        browser_runs.append(order_ms(browser))
    orders = [key for key in desktop_runs[0] if all(key in r for r in desktop_runs + browser_runs)]
    if not orders:
        sys.exit("web-measure: no per-order figures in the tables")
    print(f"ms/frame, median and fastest of {len(desktop_runs)} runs each:")
    print(" order   desktop   browser    ratio   desktop   browser    ratio")
    for key in orders:
        line = f"{key:>6}"
        for pick in (statistics.median, min):
            d = pick([r[key] for r in desktop_runs])
            b = pick([r[key] for r in browser_runs])
            line += f" {d:9.3f} {b:9.3f} {b / d:6.2f} x" if d > 0 else f" {d:9.3f} {b:9.3f}      - "
        print(line)
    return 0


if __name__ == "__main__":
    sys.exit(main())
