#!/usr/bin/env bash
# Sets up a Debian machine (missing packages only), builds everything with
# AddressSanitizer and UndefinedBehaviorSanitizer, and runs every test.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/setup.sh
cmake -S . -B build-test -G Ninja -DSANITIZE=ON -DCMAKE_BUILD_TYPE=Debug
cmake --build build-test
ctest --test-dir build-test --output-on-failure -j"$(nproc)"

# A brief run of every fuzz target in the separate clang build: up to 3000
# inputs from the generated seeds, at most 20 seconds each, six targets at
# a time, each from a fresh corpus. A finding prints that target's log.
targets=$(fuzz/run.sh list)
smoke=$(mktemp -d)
trap 'rm -rf "$smoke"' EXIT
printf '%s\n' $targets | xargs -P 6 -I{} bash -c \
    'FUZZ_BUILT=1 FUZZ_CORPUS_DIR="$0" fuzz/run.sh {} 20 -runs=3000 >"$0/{}.log" 2>&1 || { cat "$0/{}.log"; exit 255; }' "$smoke"
echo "fuzz smoke: $(echo $targets | wc -w) targets clean"
