#!/usr/bin/env bash
# Installs what is missing, builds, and builds the bundled example with the
# command line, printing its frame table.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/install-deps.sh
cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo
cmake --build build -j "$(nproc 2>/dev/null || echo 2)"
example=${1:-examples/waving-robot.kva}
./build/src/cli/kestrova-cli build "$example" --csv -
