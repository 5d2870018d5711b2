#!/usr/bin/env bash
# Builds the libFuzzer targets with clang and runs each for a bounded time.
#   scripts/fuzz.sh [SECONDS]   (default 30 per target)
set -euo pipefail
cd "$(dirname "$0")/.."
seconds=${1:-30}

bash scripts/install-deps.sh
dir=build-fuzz
CC=clang CXX=clang++ cmake -S . -B "$dir" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
  -DKESTROVA_FUZZ=ON -DKESTROVA_TESTS=OFF -DKESTROVA_BENCH=OFF
cmake --build "$dir" -j "$(nproc 2>/dev/null || echo 2)" --target fuzz_load_file fuzz_compiler fuzz_decoder fuzz_show_player fuzz_punch_in fuzz_capture_input

for target in fuzz_load_file fuzz_compiler fuzz_decoder fuzz_show_player fuzz_punch_in fuzz_capture_input; do
  corpus="$dir/corpus-$target"
  mkdir -p "$corpus"
  cp -n fuzz/seeds/* "$corpus/" 2>/dev/null || true
  echo "== $target for ${seconds}s"
  "$dir/fuzz/$target" -max_total_time="$seconds" -max_len=65536 -rss_limit_mb=2048 \
    -print_final_stats=1 "$corpus" 2>&1 | tail -n 12
done
