#!/usr/bin/env bash
# Builds the fuzz targets with clang (libFuzzer, address and undefined-behaviour sanitizers) in
# build/fuzz and runs each for the given number of seconds. Exits non-zero on a finding; the
# input that caused it is left in build/fuzz/artifacts/.
# Usage: scripts/fuzz.sh [SECONDS]   (default: 60)
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
seconds="${1:-60}"
build="${TARNWICK_FUZZ_BUILD:-$root/build/fuzz}"

cmake -S "$root/fuzz" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
    -DCMAKE_CXX_COMPILER=clang++ >/dev/null
cmake --build "$build" -j "$(nproc)"

mkdir -p "$build/artifacts"
status=0
run() {
    local target="$1" seeds="$2" maxlen="$3"
    local corpus="$build/corpus/$target"
    mkdir -p "$corpus"
    echo "== $target ($seconds s)"
    # The corpus grows between runs; the seeds in the source tree are only read.
    if ! "$build/$target" "$corpus" "$seeds" -max_total_time="$seconds" -max_len="$maxlen" \
        -timeout=10 -rss_limit_mb=2048 -print_final_stats=1 \
        -artifact_prefix="$build/artifacts/$target-" 2>"$build/$target.log"; then
        tail -n 40 "$build/$target.log"
        echo "$target: finding, see $build/artifacts/"
        status=1
    else
        grep -E "^stat::number_of_executed_units" "$build/$target.log" || true
    fi
}
run fuzz_ini "$root/tests/data/ini" 8192
run fuzz_pac "$root/fuzz/seeds/pac" 2048
run fuzz_store "$root/tests/data/registry" 16384
run fuzz_http "$root/fuzz/seeds/http" 1024
run fuzz_tester "$root/fuzz/seeds/tester" 1024
exit $status
