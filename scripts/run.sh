#!/usr/bin/env bash
# Installs what is missing, builds, and starts the editor on the bundled
# example (or on the project file given) under the user's display.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/install-deps.sh
cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo
cmake --build build -j "$(nproc 2>/dev/null || echo 2)"
example=${1:-examples/waving-robot.kva}
exec ./build/src/app/kestrova "$example"
