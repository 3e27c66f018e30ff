#!/usr/bin/env python3
"""Serves the browser build's site on 127.0.0.1 for `make serve-web`: one line saying
the address, then nothing per request (a request that fails on the server's side,
such as a file that cannot be read, is still reported). Ctrl+C stops it quietly.
usage: scripts/serve-web.py SITE_DIR [PORT]"""
import os
import sys

import web_page


def main():
    if len(sys.argv) not in (2, 3) or not os.path.isdir(sys.argv[1]):
        sys.exit('usage: serve-web.py SITE_DIR [PORT] (SITE_DIR must exist: run make web)')
    port = int(sys.argv[2]) if len(sys.argv) == 3 else 8000
    try:
        server = web_page.make_server(sys.argv[1], port)
    except OSError as e:
        sys.exit(f'serve-web: cannot serve on 127.0.0.1:{port}: {e.strerror} (WEB_PORT=N for another port)')
    print(f'Serving the show at http://127.0.0.1:{port}/ (Ctrl+C stops)', flush=True)
    try:
        server.serve_forever()
    except KeyboardInterrupt:
        pass


if __name__ == '__main__':
    main()
