#!/usr/bin/env bash
# CI's browser job: installs the browser build's tools, builds the wasm libraries
# and the site from scratch, compares the page's frames with the desktop build's
# (BUILD, already made) in headless Chromium and drives the live page. Each step
# says how long it took, so a slow step shows in the log.
#   usage: .ci/web.sh BUILD WEB_BUILD
set -euo pipefail
build=$1 web=$2
step() {
    local name=$1 started=$SECONDS
    shift
    "$@"
    echo "web: $name took $((SECONDS - started)) s"
}
rm -rf "$web"
step "installing the tools" bash scripts/setup.sh --web
step "building the site" bash scripts/web-build.sh "$build" "$web"
step "comparing frames" python3 scripts/web-test.py --desktop "$build" --site "$web/site"
step "driving the page" python3 scripts/web-page-test.py --site "$web/site"
