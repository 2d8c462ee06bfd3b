#!/usr/bin/env bash
# Sets up a Debian machine (missing packages only), builds everything with
# AddressSanitizer and UndefinedBehaviorSanitizer, and runs every test.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/setup.sh
cmake -S . -B build-test -G Ninja -DSANITIZE=ON -DCMAKE_BUILD_TYPE=Debug
cmake --build build-test
ctest --test-dir build-test --output-on-failure -j"$(nproc)"

# A brief run of every fuzz target (a few thousand inputs each, from the
# generated seeds) in the separate clang build.
for target in $(fuzz/run.sh list); do
    fuzz/run.sh "$target" 30 -runs=3000
done
