#!/usr/bin/env bash
# Sets up a Debian machine (missing packages only), builds everything with
# AddressSanitizer and UndefinedBehaviorSanitizer and warnings as errors,
# runs every test, then every fuzz target briefly. A line marks the start
# and the end of each stage, with its time.
#
# JOBS=N limits every stage to N parallel jobs: the builds, the tests and
# the fuzz targets run at once (without it: Ninja's default, a test per
# core, six fuzz targets).
set -euo pipefail
cd "$(dirname "$0")/.."
fuzz_jobs=6
if [ -n "${JOBS:-}" ]; then
    [[ $JOBS =~ ^[1-9][0-9]*$ ]] || { echo "JOBS must be a whole number from 1 up, not '$JOBS'" >&2; exit 2; }
    export CMAKE_BUILD_PARALLEL_LEVEL=$JOBS CTEST_PARALLEL_LEVEL=$JOBS
    if [ "$JOBS" -lt $fuzz_jobs ]; then fuzz_jobs=$JOBS; fi
fi
started_all=$SECONDS

# stage NAME COMMAND...: runs one stage with its own output on the console.
stage() {
    local name=$1
    shift
    echo "== $name: started $(date +%T)"
    local rc=0 started=$SECONDS
    "$@" || rc=$?
    if [ $rc -ne 0 ]; then
        echo "== $name: FAILED (exit code $rc) after $((SECONDS - started)) s"
        exit $rc
    fi
    echo "== $name: done in $((SECONDS - started)) s"
}

# A brief run of every fuzz target in the separate clang build: up to 3000
# inputs from the generated seeds, at most 20 seconds each, six targets at
# a time (fewer under a smaller JOBS), each from a fresh corpus. A finding
# prints that target's log.
fuzz_smoke() {
    local targets
    targets=$(FUZZ_BUILT=1 fuzz/run.sh list)
    # Not local: the exit trap removes it.
    smoke=$(mktemp -d)
    trap 'rm -rf "$smoke"' EXIT
    printf '%s\n' $targets | xargs -P "$fuzz_jobs" -I{} bash -c \
        'FUZZ_BUILT=1 FUZZ_CORPUS_DIR="$0" fuzz/run.sh {} 20 -runs=3000 >"$0/{}.log" 2>&1 || { cat "$0/{}.log"; exit 255; }
         echo "   {}: clean"' "$smoke"
    echo "fuzz smoke: $(echo $targets | wc -w) targets clean"
}

stage "setup (missing packages)" bash scripts/setup.sh
stage "configure build-test/" cmake -S . -B build-test -G Ninja -DSANITIZE=ON -DCMAKE_BUILD_TYPE=Debug \
    -DWARNINGS_AS_ERRORS=ON
stage "build" cmake --build build-test
stage "tests" ctest --test-dir build-test --output-on-failure -j"${CTEST_PARALLEL_LEVEL:-$(nproc)}"
stage "fuzz build (clang, build-fuzz/)" fuzz/run.sh build
stage "fuzz smoke run" fuzz_smoke
echo "== all stages done in $((SECONDS - started_all)) s"
