#!/usr/bin/env bash
# The test suite under sanitizers:
#   asan  the whole suite built with AddressSanitizer + UndefinedBehaviorSanitizer,
#         leak detection on (the real program runs under them too, so the
#         bad-input sweep and the fault tests also catch its leaks);
#   tsan  the music, beat-state and capture tests under ThreadSanitizer, where
#         the audio thread writes what the frame loop reads.
# Usage: .ci/sanitizers.sh [asan|tsan|all]
set -euo pipefail

cd "$(dirname "$0")/.."
which="${1:-all}"
jobs="${JOBS:-$(nproc)}"
case "$which" in
    asan|tsan|all) ;;
    *) echo "sanitizers.sh: unknown job '$which' (asan, tsan or all)" >&2; exit 2 ;;
esac

configure() {
    local dir="$1" sanitize="$2"
    cmake -S . -B "$dir" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DGF_BUILD_BENCH=OFF \
        -DGF_SANITIZE="$sanitize" >/dev/null
}

if [ "$which" = asan ] || [ "$which" = all ]; then
    echo "== AddressSanitizer + UndefinedBehaviorSanitizer: whole suite"
    export ASAN_OPTIONS="detect_leaks=1:abort_on_error=0:strict_string_checks=1:detect_stack_use_after_return=1:check_initialization_order=1"
    export UBSAN_OPTIONS="print_stacktrace=1:halt_on_error=1"
    # Leaks inside system libraries the program does not own (the X11/ALSA
    # client libraries SDL loads) are not ours to fix.
    export LSAN_OPTIONS="suppressions=$PWD/.ci/lsan.supp:print_suppressions=0"
    # The build runs the data-set generator, which is checked the same way.
    configure build-asan address,undefined
    cmake --build build-asan -j "$jobs"
    # The whole-show end-to-end captures take many minutes under ASan and
    # repeat what the Release run already checked; everything else runs.
    ctest --test-dir build-asan --output-on-failure -j "$jobs" --timeout 900 \
        -E "${GF_ASAN_EXCLUDE:-ShowEndToEnd|WholeShow|Soak}"
fi

if [ "$which" = tsan ] || [ "$which" = all ]; then
    echo "== ThreadSanitizer: music, beat state, capture"
    configure build-tsan thread
    cmake --build build-tsan -j "$jobs" --target test_platform test_driver glimmerfrost
    export TSAN_OPTIONS="halt_on_error=1:second_deadlock_stack=1"
    # Windows under Xvfb use SDL's software renderer drawing straight to the X
    # window: Mesa's software GL runs threads of its own that ThreadSanitizer
    # cannot see into, and they are not ours. Without the second setting SDL
    # still opens a GL context to decide how to show the software renderer's
    # surface, which loads Mesa all the same.
    export SDL_RENDER_DRIVER=software SDL_FRAMEBUFFER_ACCELERATION=0
    # The player with its audio and silent threads; the beat state; the capture
    # loop; and demo_main on the real SDL platform with the audio thread
    # running (window close, device lost mid-show).
    build-tsan/tests/test_platform --gtest_filter='MusicTest.*:MusicPause.*'
    build-tsan/tests/test_driver --gtest_filter='BeatStateTest.*:CaptureTiming.*:CaptureLoopTest.*:RuntimeFaults.*'
fi
