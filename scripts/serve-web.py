#!/usr/bin/env python3
"""Serves the browser build's site on 127.0.0.1 for `make serve-web`: one line saying
the address, then nothing per request (a request that fails on the server's side,
such as a file that cannot be read, is still reported). Ctrl+C stops it quietly.
usage: scripts/serve-web.py SITE_DIR [PORT]"""
import functools
import http.server
import os
import sys


class QuietHandler(http.server.SimpleHTTPRequestHandler):
    extensions_map = {
        **http.server.SimpleHTTPRequestHandler.extensions_map,
        '.wasm': 'application/wasm',
        '.webmanifest': 'application/manifest+json',
        '.js': 'text/javascript',
    }

    def log_request(self, code='-', size='-'):
        pass  # every page load fetches a dozen files; listing them helps nobody

    def log_error(self, format, *args):
        if not (args and args[0] == 404):  # a missing file is the page's to report, in words
            super().log_error(format, *args)


def main():
    if len(sys.argv) not in (2, 3) or not os.path.isdir(sys.argv[1]):
        sys.exit('usage: serve-web.py SITE_DIR [PORT] (SITE_DIR must exist: run make web)')
    port = int(sys.argv[2]) if len(sys.argv) == 3 else 8000
    handler = functools.partial(QuietHandler, directory=sys.argv[1])
    try:
        server = http.server.ThreadingHTTPServer(('127.0.0.1', port), handler)
    except OSError as e:
        sys.exit(f'serve-web: cannot serve on 127.0.0.1:{port}: {e.strerror} (WEB_PORT=N for another port)')
    print(f'Serving the show at http://127.0.0.1:{port}/ (Ctrl+C stops)', flush=True)
    try:
        server.serve_forever()
    except KeyboardInterrupt:
        pass


if __name__ == '__main__':
    main()
