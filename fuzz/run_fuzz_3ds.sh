#!/usr/bin/env bash
# Fuzzes the 3D Studio chunk reader for a bounded time: builds the libFuzzer
# target with clang, AddressSanitizer and UndefinedBehaviorSanitizer, seeds it
# with fuzz/corpus/3ds, the generated kubus.3ds and the real-world files under
# ../shared/testdata/3ds when present, and fails on any finding.
# Usage: fuzz/run_fuzz_3ds.sh [SECONDS]   (default 60)
# GF_FUZZ_DIR sets the work directory (default build-fuzz in the repository).
set -euo pipefail

seconds="${1:-60}"
if ! [[ "$seconds" =~ ^[0-9]+$ ]] || [ "$seconds" -eq 0 ]; then
    echo "run_fuzz_3ds.sh: SECONDS must be a positive whole number, got '$seconds'" >&2
    exit 2
fi

root="$(cd "$(dirname "$0")/.." && pwd)"
work="${GF_FUZZ_DIR:-$root/build-fuzz}"
mkdir -p "$work/corpus-3ds" "$work/artifacts-3ds"

CXX="${CXX_FUZZ:-clang++}"
"$CXX" -std=c++20 -O1 -g -fno-omit-frame-pointer \
    -fsanitize=fuzzer,address,undefined -fno-sanitize-recover=all \
    -I "$root/src" "$root/fuzz/fuzz_3ds.cpp" "$root/src/mesh/chunk_reader.cpp" \
    -o "$work/fuzz_3ds"

# New inputs go to the first directory; the others are read-only seeds.
seed_dirs=("$root/fuzz/corpus/3ds")
if [ -d "$root/../shared/testdata/3ds" ]; then
    seed_dirs+=("$root/../shared/testdata/3ds")
fi
for mesh in "$root"/build*/data/kubus.3ds; do
    if [ -f "$mesh" ]; then
        cp "$mesh" "$work/corpus-3ds/generated-kubus.3ds"
    fi
done

log="$work/fuzz_3ds.log"
set +e
"$work/fuzz_3ds" -max_total_time="$seconds" -timeout=10 -rss_limit_mb=2048 -max_len=262144 \
    -print_final_stats=1 -artifact_prefix="$work/artifacts-3ds/" \
    "$work/corpus-3ds" "${seed_dirs[@]}" >"$log" 2>&1
status=$?
set -e

runs="$(grep -o 'stat::number_of_executed_units: *[0-9]*' "$log" | grep -o '[0-9]*$' || true)"
if [ "$status" -ne 0 ]; then
    tail -n 60 "$log" >&2
    echo "run_fuzz_3ds.sh: the fuzzer found a problem (exit $status); inputs in $work/artifacts-3ds/, log $log" >&2
    exit 1
fi
echo "run_fuzz_3ds.sh: ${runs:-?} executions in ${seconds} s, no findings (log $log)"
