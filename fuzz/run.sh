#!/usr/bin/env bash
# Runs one fuzz target for a given time:
#
#   fuzz/run.sh TARGET SECONDS [libFuzzer options...]     e.g. fuzz/run.sh coff_fuzz 600
#   fuzz/run.sh list                                       the targets
#   fuzz/run.sh build                                      only configure and build, showing the progress
#
# Configures and builds the fuzzing build (clang, AddressSanitizer and
# UndefinedBehaviorSanitizer) in build-fuzz when needed, writes the seed
# inputs, and keeps the growing corpus in build-fuzz/corpus/TARGET. A crash,
# hang, leak or memory blow-up ends the run with a non-zero exit code and
# leaves the input in build-fuzz/findings/TARGET. FUZZ_CORPUS_DIR puts the
# corpus elsewhere (a brief check starts from the seeds alone).
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=${FUZZ_BUILD_DIR:-$root/build-fuzz}

configure=(cmake -S "$root" -B "$build" -G Ninja -DCMAKE_CXX_COMPILER=clang++ -DSANITIZE=ON -DBUILD_FUZZERS=ON
    -DBUILD_TESTS=OFF -DCMAKE_BUILD_TYPE=RelWithDebInfo -DWARNINGS_AS_ERRORS=ON)
if [ "${1:-}" = build ]; then
    "${configure[@]}"
    cmake --build "$build" --target fuzzers
    exit 0
fi
[ -f "$build/build.ninja" ] || "${configure[@]}" >/dev/null
# FUZZ_BUILT=1: the caller has just built the targets (parallel runs).
[ "${FUZZ_BUILT:-}" = 1 ] || cmake --build "$build" --target fuzzers >/dev/null

if [ "${1:-}" = list ]; then
    for f in "$build"/fuzz/*_fuzz; do basename "$f"; done
    exit 0
fi
if [ $# -lt 2 ]; then
    echo "usage: fuzz/run.sh TARGET SECONDS [libFuzzer options...]" >&2
    exit 2
fi
target=$1
seconds=$2
shift 2
if [ ! -x "$build/fuzz/$target" ]; then
    echo "no fuzz target '$target' (fuzz/run.sh list)" >&2
    exit 2
fi

corpus="${FUZZ_CORPUS_DIR:-$build/corpus}/$target"
findings="$build/findings/$target"
mkdir -p "$corpus" "$findings"
# Each fuzzing process makes its working directory below this one.
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
seeds="$work/seeds"
"$build/fuzz/fuzz_seeds" "$seeds"

options=(-max_total_time="$seconds" -timeout=30 -rss_limit_mb=2048 -artifact_prefix="$findings/" -print_final_stats=1)
[ -f "$root/fuzz/$target.dict" ] && options+=(-dict="$root/fuzz/$target.dict")

FUZZ_WORK_ROOT="$work" "$build/fuzz/$target" "${options[@]}" "$@" "$corpus" "$seeds/$target"
