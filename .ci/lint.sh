#!/usr/bin/env bash
# Static checks: clang-tidy on src/ with the checked-in .clang-tidy (over the
# compile commands of a configured build), clang-format over every tracked C++
# file, and cppcheck on src/ with .cppcheck's suppressions. Any finding fails the job.
# Usage: .ci/lint.sh [BUILD_DIR]   (default build; configured here if needed)
set -euo pipefail

cd "$(dirname "$0")/.."
build="${1:-build}"
jobs="${JOBS:-$(nproc)}"
if [ ! -f "$build/compile_commands.json" ]; then
    cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release >/dev/null
fi
# The compile commands name no generated headers, so nothing needs building first.

status=0
echo "== clang-tidy"
tidy_log="$build/clang-tidy.log"
if ! run-clang-tidy -quiet -p "$build" -j "$jobs" "$PWD/src/" >"$tidy_log" 2>&1; then
    status=1
fi
if grep -E '(warning|error):' "$tidy_log" | grep -v '^Error while processing' | sort -u | grep .; then
    status=1
fi
[ "$status" -eq 0 ] && echo "clang-tidy: clean ($(grep -c '^clang-tidy' "$tidy_log" || true) files)"

echo "== clang-format"
unformatted=$(git ls-files '*.cpp' '*.h' | while read -r file; do
    clang-format "$file" | cmp -s - "$file" || echo "$file"
done)
if [ -n "$unformatted" ]; then
    echo "clang-format: these files differ from what clang-format writes (run clang-format -i on them):"
    echo "$unformatted"
    status=1
else
    echo "clang-format: clean ($(git ls-files '*.cpp' '*.h' | wc -l) files)"
fi

echo "== cppcheck"
cppcheck_status=0
cppcheck --quiet --error-exitcode=1 --std=c++20 --language=c++ --inline-suppr \
    --enable=warning,performance,portability \
    --suppressions-list=.cppcheck -I src -j "$jobs" src || cppcheck_status=1
[ "$cppcheck_status" -eq 0 ] && echo "cppcheck: clean"
[ "$cppcheck_status" -ne 0 ] && status=1
exit "$status"
