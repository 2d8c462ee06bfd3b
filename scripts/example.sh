#!/usr/bin/env bash
# Sets up a Debian machine (missing packages only), builds the four programs
# and runs the main job.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/setup.sh
cmake -S . -B build -G Ninja -DBUILD_TESTS=OFF
cmake --build build
ls -l build/tarvok/src/tarvok build/skellan/skellan build/dorvane/src/dorvane build/quessel/quessel
