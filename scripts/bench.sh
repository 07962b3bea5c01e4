#!/usr/bin/env bash
# Builds the benchmark in a Release host tree without sanitizers (out/bench)
# and runs it. Arguments go to the benchmark, for example
#   bash scripts/bench.sh --benchmark_filter=json_read
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
bash "$root/scripts/setup.sh" >&2
jobs=${PALVO_JOBS:-$(nproc)}
cmake -S "$root" -B "$root/out/bench" -G Ninja -DCMAKE_BUILD_TYPE=Release \
  -DPALVO_SANITIZE=OFF >/dev/null
cmake --build "$root/out/bench" -j "$jobs" --target palvo_bench >&2
exec "$root/out/bench/bench/palvo_bench" "$@"
