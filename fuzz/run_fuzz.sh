#!/usr/bin/env bash
# Fuzzes one or all of the three input readers for a bounded time each: the
# 3D Studio reader (memory mode), the JPEG loader and the module player. Each
# libFuzzer target is built with clang, AddressSanitizer and
# UndefinedBehaviorSanitizer, seeded from its checked-in corpus, the generated
# data set when one has been built, and the real-world files under
# ../shared/testdata when that folder exists (read in place, never copied).
# Any finding fails the run and leaves the input under the work directory.
#
# Usage: fuzz/run_fuzz.sh [3ds|jpeg|it|all] [SECONDS]   (defaults: all, 60)
# GF_FUZZ_DIR sets the work directory (default build-fuzz in the repository).
set -euo pipefail

target="${1:-all}"
seconds="${2:-60}"
if ! [[ "$seconds" =~ ^[0-9]+$ ]] || [ "$seconds" -eq 0 ]; then
    echo "run_fuzz.sh: SECONDS must be a positive whole number, got '$seconds'" >&2
    exit 2
fi
case "$target" in
    3ds|jpeg|it|all) ;;
    *) echo "run_fuzz.sh: unknown target '$target' (3ds, jpeg, it or all)" >&2; exit 2 ;;
esac

root="$(cd "$(dirname "$0")/.." && pwd)"
work="${GF_FUZZ_DIR:-$root/build-fuzz}"
testdata="$root/../shared/testdata"
CXX="${CXX_FUZZ:-clang++}"
if ! command -v "$CXX" >/dev/null; then
    echo "run_fuzz.sh: $CXX not found; libFuzzer targets need clang" >&2
    exit 1
fi
flags=(-std=c++20 -O1 -g -fno-omit-frame-pointer -fsanitize=fuzzer,address,undefined
       -fno-sanitize-recover=all -I "$root/src")

# build NAME SOURCES... -- LIBS...
build() {
    local name="$1"; shift
    local sources=() libs=()
    while [ "$#" -gt 0 ] && [ "$1" != "--" ]; do sources+=("$1"); shift; done
    [ "$#" -gt 0 ] && shift
    libs=("$@")
    "$CXX" "${flags[@]}" "${sources[@]}" -o "$work/fuzz_$name" "${libs[@]}"
}

# Seed folders that exist, after the checked-in corpus: seeds_for NAME EXT SUBDIR MAX_LEN.
seeds_for() {
    local name="$1" ext="$2" max_len="$4"
    local dirs=()
    [ -d "$root/fuzz/corpus/$name" ] && dirs+=("$root/fuzz/corpus/$name")
    local extra
    for extra in "$testdata/$3" "$root"/build*/data; do
        if [ -d "$extra" ]; then
            # Only the files of this kind, whole (no larger than the fuzzer's input limit; sizes
            # in bytes, since find rounds -size in M up to whole MiB): a folder of links keeps
            # the others out.
            local only="$work/seeds-$name/$(echo "$extra" | tr '/' '_')"
            rm -rf "$only"
            mkdir -p "$only"
            find "$extra" -maxdepth 2 -type f -iname "*.$ext" -size "-$((max_len + 1))c" \
                -exec ln -sf {} "$only/" \; 2>/dev/null || true
            if [ -n "$(ls -A "$only")" ]; then
                dirs+=("$only")
            fi
        fi
    done
    if [ "${#dirs[@]}" -gt 0 ]; then
        printf '%s\n' "${dirs[@]}"
    fi
}

# run NAME EXT TESTDATA_SUBDIR MAX_LEN
run() {
    local name="$1" ext="$2" sub="$3" max_len="$4"
    mkdir -p "$work/corpus-$name" "$work/artifacts-$name"
    local seeds=()
    mapfile -t seeds < <(seeds_for "$name" "$ext" "$sub" "$max_len")
    local count=0 dir
    for dir in "${seeds[@]}"; do
        count=$((count + $(find -L "$dir" -maxdepth 1 -type f | wc -l)))
    done
    if [ "$count" -eq 0 ]; then
        echo "run_fuzz.sh: $name: no seed files (looked in fuzz/corpus/$name, $testdata/$sub and build*/data)" >&2
        return 1
    fi
    echo "run_fuzz.sh: $name: $count seed files from ${#seeds[@]} folders"
    local log="$work/fuzz_$name.log"
    set +e
    "$work/fuzz_$name" -max_total_time="$seconds" -timeout=20 -rss_limit_mb=2048 -max_len="$max_len" \
        -print_final_stats=1 -artifact_prefix="$work/artifacts-$name/" \
        "$work/corpus-$name" "${seeds[@]}" >"$log" 2>&1
    local status=$?
    set -e
    local runs cov
    runs="$(grep -o 'stat::number_of_executed_units: *[0-9]*' "$log" | grep -o '[0-9]*$' || true)"
    cov="$(grep -o 'cov: [0-9]* ft: [0-9]*' "$log" | tail -n 1 || true)"
    if [ "$status" -ne 0 ]; then
        tail -n 60 "$log" >&2
        echo "run_fuzz.sh: $name: the fuzzer found a problem (exit $status); inputs in $work/artifacts-$name/, log $log" >&2
        return 1
    fi
    echo "run_fuzz.sh: $name: ${runs:-?} executions in ${seconds} s, ${cov:-coverage unknown}, no findings (log $log)"
}

mkdir -p "$work"
failed=0
if [ "$target" = 3ds ] || [ "$target" = all ]; then
    build 3ds "$root/fuzz/fuzz_3ds.cpp" "$root/src/mesh/chunk_reader.cpp"
    run 3ds 3ds 3ds 262144 || failed=1
fi
if [ "$target" = jpeg ] || [ "$target" = all ]; then
    # shellcheck disable=SC2046
    build jpeg "$root/fuzz/jpeg_fuzzer.cpp" "$root/src/platform/image_loader.cpp" -- $(pkg-config --libs libjpeg)
    run jpeg jpg jpeg 131072 || failed=1
fi
if [ "$target" = it ] || [ "$target" = all ]; then
    build it "$root/fuzz/module_fuzzer.cpp" "$root/src/platform/module_check.cpp"
    run it it it 262144 || failed=1
fi
exit "$failed"
