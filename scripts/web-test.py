#!/usr/bin/env python3
"""Compares the browser's frames with the desktop's, in headless Chromium.

Renders the show offline with the desktop build (glimmerfrost --frames, at
--fps), picks every --step-th frame (at least one in every order the show
plays), asks the site's test mode (index.html?frames=...&fps=...) for the
SHA-256 of each, served on 127.0.0.1 by Python's http.server, and compares
them with the desktop frames' words hashed the same way (little-endian
0x00RRGGBB). Does the same for the gentle show (--gentle on the desktop, &gentle
on the page). Prints the frames and orders that differ; exit 0 only when every
frame matches (with --report-only, also when some differ).

Then checks that a page which cannot start says why in words: with a data file
missing, with one damaged (the mesh cut short, empty or an HTML page in its
place), with no WebAssembly, and with frame rates or frame numbers the desktop
would refuse; and that the benchmark mode under a clock that stands still
(Chromium's virtual time) says so.
"""
import argparse
import csv
import hashlib
import os
import re
import struct
import subprocess
import sys
import tempfile
import zlib

import web_page


def png_words(path):
    """The 320 x 200 RGB PNG the desktop writes, as 64000 little-endian 0x00RRGGBB words."""
    with open(path, "rb") as f:
        data = f.read()
    if data[:8] != b"\x89PNG\r\n\x1a\n":
        raise ValueError(f"{path}: not a PNG file")
    pos, packed, width, height = 8, b"", 0, 0
    while pos < len(data):
        length, kind = struct.unpack(">I4s", data[pos:pos + 8])
        body = data[pos + 8:pos + 8 + length]
        if kind == b"IHDR":
            width, height, depth, colour = struct.unpack(">IIBB", body[:10])
            if (width, height, depth, colour) != (320, 200, 8, 2):
                raise ValueError(f"{path}: not a 320 x 200 8-bit RGB PNG")
        elif kind == b"IDAT":
            packed += body
        pos += 12 + length
    raw = zlib.decompress(packed)
    stride = 1 + 3 * width
    out = bytearray()
    for y in range(height):
        row = raw[y * stride:(y + 1) * stride]
        if row[0] != 0:
            raise ValueError(f"{path}: row filter {row[0]} (the desktop writes unfiltered rows)")
        for x in range(1, stride, 3):
            out += bytes((row[x + 2], row[x + 1], row[x], 0))
    return bytes(out)


def pick_frames(rows, step):
    """Every step-th frame, plus the first frame of any order the stepping misses."""
    picked, seen = [], set()
    for index, order in rows:
        if index % step == 0 or order not in seen:
            picked.append(index)
            seen.add(order)
    return picked


def page_dom(chromium, site, query, budget_ms, timeout_s=120):
    """The page's DOM once Chromium has run it for budget_ms of virtual time."""
    with web_page.serving(site) as server:
        try:
            return web_page.dump_dom(chromium, f"{web_page.base_url(server)}index.html{query}", budget_ms,
                                     timeout_s)
        except TimeoutError as e:
            sys.exit(f"web-test: {e}")


def browser_hashes(chromium, site, frames, fps, budget_ms, gentle, start=None):
    query = (f"?frames={','.join(map(str, frames))}&fps={fps}" + ("&gentle" if gentle else "")
             + (f"&start={start}" if start else ""))
    dom = page_dom(chromium, site, query, budget_ms)
    if "<title>frames done</title>" not in dom:
        title = re.search(r"<title>(.*?)</title>", dom, re.S)
        sys.exit(f"web-test: the page did not finish: {title.group(1) if title else 'no page'}")
    block = re.search(r'<pre id="frame-hashes">(.*?)</pre>', dom, re.S).group(1)
    return {int(n): h for n, h in (line.split() for line in block.strip().splitlines())}


def refusals(chromium, site):
    """The start-up failures the page must put in words; returns what it failed to say."""
    missed = []
    with tempfile.TemporaryDirectory() as tmp:
        for name in os.listdir(site):
            if name not in ("data", "index.html"):
                os.symlink(os.path.join(site, name), os.path.join(tmp, name))
        with open(os.path.join(site, "index.html")) as f:
            page = f.read()
        os.mkdir(os.path.join(tmp, "data"))
        data = os.path.join(site, "data")
        html = b"<!DOCTYPE html><html><body>404 Not Found</body></html>\n"
        cases = [("kubus.3ds missing", "kubus.3ds", None, "data/kubus.3ds", ""),
                 ("xmas.it damaged", "xmas.it", 4096, "xmas.it", ""),
                 ("kubus.3ds cut short", "kubus.3ds", 100, "kubus.3ds", ""),
                 ("kubus.3ds empty", "kubus.3ds", 0, "kubus.3ds", ""),
                 ("kubus.3ds served as a web page", "kubus.3ds", html, "kubus.3ds", ""),
                 ("no WebAssembly", None, None, "WebAssembly", ""),
                 ("a rate past the desktop's numbers", "", None, "fps", "?frames=0&fps=1/1000000000"),
                 ("a rate below one a second", "", None, "fps", "?frames=0&fps=1/1000000"),
                 ("a rate too fast", "", None, "fps", "?frames=4000000000&fps=1000000000"),
                 ("a rate past 32 bits", "", None, "fps", "?frames=0&fps=4294967356"),
                 ("a frame past 30 minutes", "", None, "frames", "?frames=4000000000&fps=60")]
        for label, changed, keep, expected, query in cases:
            for name in os.listdir(data):
                target = os.path.join(tmp, "data", name)
                if os.path.lexists(target):
                    os.remove(target)
                if name == changed and keep is not None:
                    with open(os.path.join(data, name), "rb") as f, open(target, "wb") as out:
                        out.write(keep if isinstance(keep, bytes) else f.read(keep))
                elif name != changed:
                    os.symlink(os.path.join(data, name), target)
            # A browser without WebAssembly: the page as served, with it taken away first.
            without = '<head><script>delete window.WebAssembly;</script>' if changed is None else '<head>'
            with open(os.path.join(tmp, "index.html"), "w") as f:
                f.write(page.replace("<head>", without, 1))
            dom = page_dom(chromium, tmp, query, 20000, 60)
            title = re.search(r"<title>(.*?)</title>", dom, re.S)
            said = title.group(1) if title else ""
            if not said.startswith("Glimmerfrost: ") or expected not in said:
                missed.append(f"{label}: the page said {said!r}")
    # Under virtual time the clock stands still while the page computes: a benchmark
    # there has nothing to measure and must say so rather than print zeros.
    dom = page_dom(chromium, site, "?benchmark", 600000, 120)
    title = re.search(r"<title>(.*?)</title>", dom, re.S)
    said = title.group(1) if title else ""
    if "the clock did not advance" not in said:
        missed.append(f"a benchmark under a clock that stands still: the page said {said!r}")
    return missed


def compare(program, chromium, args, gentle):
    """The desktop's and the browser's frames of the show (or the gentle show); True when some differ."""
    with tempfile.TemporaryDirectory() as tmp:
        frames_dir = os.path.join(tmp, "frames")
        command = [program, "--frames", frames_dir, "--fps", args.fps] + (["--gentle"] if gentle else [])
        run = subprocess.run(command, stdout=subprocess.DEVNULL, stderr=subprocess.PIPE, text=True)
        if run.returncode != 0:
            # The desktop's first line names the problem (a bad --fps, say).
            why = (run.stderr.strip().splitlines() or [f"exit {run.returncode}"])[0]
            sys.exit(f"web-test: {program} --frames failed: {why}")
        with open(os.path.join(frames_dir, "frames.csv")) as f:
            positions = [(int(r["frame"]), int(r["order"]), int(r["row"])) for r in csv.DictReader(f)]
        rows = [(n, order) for n, order, _ in positions]
        order_of = dict(rows)
        picked = pick_frames(rows, args.step)
        # From a start position the page counts frames from the first one at or after it, and
        # they must be the whole show's: one start in a sub-scene of order 10, after its accents.
        start = (10, 40)
        first = next(n for n, order, row in positions if (order, row) >= start)
        start_offsets = [0, 1, 5]
        needed = set(picked) | {first + k for k in start_offsets}
        desktop = {n: hashlib.sha256(png_words(os.path.join(frames_dir, f"frame_{n:06d}.png"))).hexdigest()
                   for n in needed}

    # A generous budget of virtual time: the page's work takes none of it.
    browser = browser_hashes(chromium, os.path.realpath(args.site), picked, args.fps, 600000, gentle)
    differ = [n for n in picked if browser.get(n) != desktop[n]]
    orders = sorted({order_of[n] for n in picked})
    bad_orders = sorted({order_of[n] for n in differ})
    show = "gentle show" if gentle else "show"
    print(f"web-test: {show}: {len(picked) - len(differ)} of {len(picked)} frames at {args.fps} fps identical "
          f"over orders {orders[0]}-{orders[-1]}" + (f"; differing in orders {bad_orders}" if differ else ""))
    for order in bad_orders:
        in_order = [n for n in picked if order_of[n] == order]
        bad = [n for n in differ if order_of[n] == order]
        print(f"  order {order}: {len(bad)} of {len(in_order)} differ (first: frame {bad[0]})")
    from_start = browser_hashes(chromium, os.path.realpath(args.site), start_offsets, args.fps, 600000, gentle,
                                f"{start[0]}:{start[1]}")
    start_differ = [k for k in start_offsets if from_start.get(k) != desktop[first + k]]
    print(f"web-test: {show} from start={start[0]}:{start[1]}: {len(start_offsets) - len(start_differ)} of "
          f"{len(start_offsets)} frames equal the whole show's frames from {first}"
          + (f"; differing: {start_differ}" if start_differ else ""))
    return bool(differ) or bool(start_differ)


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--desktop", default="build", help="the desktop build folder")
    parser.add_argument("--site", default="build-web/site", help="the web site folder")
    parser.add_argument("--fps", default="10")
    parser.add_argument("--step", type=int, default=4, help="compare every STEP-th frame (1 or more)")
    parser.add_argument("--report-only", action="store_true", help="exit 0 even when frames differ")
    args = parser.parse_args()

    if args.step < 1:
        sys.exit(f"web-test: --step {args.step}: must be 1 or more")
    program = os.path.join(args.desktop, "src", "glimmerfrost")
    if not os.access(program, os.X_OK):
        sys.exit(f"web-test: {program}: no desktop program (build it first)")
    web_page.check_site("web-test", args.site)
    chromium = web_page.find_chromium("web-test")

    differ_any = False
    for gentle in (False, True):
        differ_any = compare(program, chromium, args, gentle) or differ_any
    missed = refusals(chromium, os.path.realpath(args.site))
    print("web-test: missing and damaged data files, no WebAssembly, refused rates and a benchmark under a clock "
          "that stands still are each said in words"
          if not missed else "web-test: a start-up failure not said in words:\n  " + "\n  ".join(missed))
    return 0 if (not differ_any or args.report_only) and not missed else 1


if __name__ == "__main__":
    sys.exit(main())
