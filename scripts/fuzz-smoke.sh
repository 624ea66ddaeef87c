#!/usr/bin/env bash
# Builds the fuzz targets (fuzz/, clang 14 with libFuzzer, AddressSanitizer, LeakSanitizer and
# UndefinedBehaviorSanitizer) and runs each for SECONDS (default 60) from its seed corpus in
# fuzz/corpus/<target>. A crash, a hang of more than 10 s on one input, a leak or a failed property
# fails the script; the input that did it is kept in the build folder's artifacts/.
#   scripts/fuzz-smoke.sh [SECONDS]      build folder: $FUZZ_BUILD_DIR, default build-fuzz
set -euo pipefail
cd "$(dirname "$0")/.."

seconds=${1:-60}
build=${FUZZ_BUILD_DIR:-build-fuzz}
targets=(library_file profile_file side_file patch_import commit_record unsaved_work show_file)

cmake -S fuzz -B "$build" -G Ninja -DCMAKE_CXX_COMPILER=clang++-14 -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build "$build" -j "$(nproc)"

mkdir -p "$build/artifacts"
export ASAN_OPTIONS=detect_leaks=1:abort_on_error=1:symbolize=1
export UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1
failed=()
for target in "${targets[@]}"; do
    # New inputs go to a scratch corpus; the committed seeds are only read.
    scratch=$(mktemp -d)
    echo "== fuzz_$target for ${seconds}s"
    if ! "$build/fuzz_$target" -max_total_time="$seconds" -timeout=10 -detect_leaks=1 -rss_limit_mb=2048 \
        -print_final_stats=1 -artifact_prefix="$build/artifacts/$target-" "$scratch" "fuzz/corpus/$target" \
        >"$build/fuzz_$target.log" 2>&1; then
        failed+=("$target")
        tail -n 60 "$build/fuzz_$target.log"
    else
        grep -E '^stat::number_of_executed_units|^Done' "$build/fuzz_$target.log" || true
    fi
    rm -rf "$scratch"
done

if [ ${#failed[@]} -ne 0 ]; then
    echo "fuzz smoke run FAILED: ${failed[*]} (inputs in $build/artifacts/)"
    exit 1
fi
echo "fuzz smoke run passed: ${targets[*]}"
