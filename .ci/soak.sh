#!/usr/bin/env bash
# The soak: ten whole shows in one process in benchmark mode (resident memory
# flat after the first), then one whole real-time playback in a window under
# Xvfb with the dummy audio driver, ending through the fade; prints the
# frame-time percentiles.
# Usage: .ci/soak.sh [BUILD_DIR]   (default build)
set -euo pipefail

cd "$(dirname "$0")/.."
build="${1:-build}"
cmake --build "$build" --target test_driver >/dev/null
export GF_SOAK=1
"$build/tests/test_driver" --gtest_filter='Soak.TenWholeShowsInOneProcessKeepMemoryFlat' | grep -E '^soak:|^\[|heaviest'
SDL_AUDIODRIVER=dummy xvfb-run -a -s "-screen 0 1280x1024x24" \
    "$build/tests/test_driver" --gtest_filter='Soak.RealTimePlaybackEndsThroughTheFade' | grep -E '^soak:|^\['
