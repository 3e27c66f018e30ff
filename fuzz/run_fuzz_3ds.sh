#!/usr/bin/env bash
# Fuzzes the 3D Studio chunk reader for a bounded time; see run_fuzz.sh.
# Usage: fuzz/run_fuzz_3ds.sh [SECONDS]   (default 60)
exec "$(dirname "$0")/run_fuzz.sh" 3ds "${1:-60}"
