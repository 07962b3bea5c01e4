#!/usr/bin/env bash
# Builds both targets and runs every test: the host build natively under the
# sanitizers, the Windows build under Wine.
#   --host-only / --win-only   one of the two
#   extra arguments after --   passed to ctest (for example -R base_unittests)
# Every test runs once, in an order shuffled by a seed that is printed;
# PALVO_TEST_SEED=N replays an order (and the fuzz targets' mutations).
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
do_host=1
do_win=1
ctest_args=()
while [ $# -gt 0 ]; do
  case "$1" in
    --host-only) do_win=0 ;;
    --win-only) do_host=0 ;;
    --) shift; ctest_args=("$@"); break ;;
    *) echo "unknown option $1" >&2; exit 2 ;;
  esac
  shift
done

bash "$root/scripts/setup.sh"
jobs=${PALVO_JOBS:-$(nproc)}
status=0

seed=${PALVO_TEST_SEED:-$(( (RANDOM * 32768 + RANDOM) % 99999 + 1 ))}
echo "== test order shuffled with seed $seed (PALVO_TEST_SEED=$seed replays it)"
export GTEST_SHUFFLE=1 GTEST_RANDOM_SEED=$seed PALVO_FUZZ_SEED=${PALVO_FUZZ_SEED:-$seed}

if [ $do_host = 1 ]; then
  echo "== host build (sanitizers)"
  cmake -S "$root" -B "$root/out/host" -G Ninja >/dev/null
  cmake --build "$root/out/host" -j "$jobs"
  (cd "$root/out/host" && \
    ASAN_OPTIONS=detect_leaks=1:abort_on_error=1 UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1 \
    ctest --output-on-failure -j "$jobs" "${ctest_args[@]}") || status=1
fi

if [ $do_win = 1 ]; then
  echo "== Windows build (tests under Wine)"
  cmake -S "$root" -B "$root/out/win" -G Ninja \
    -DCMAKE_TOOLCHAIN_FILE="$root/cmake/mingw-w64-x86_64.cmake" >/dev/null
  cmake --build "$root/out/win" -j "$jobs"
  (cd "$root/out/win" && \
    ctest --output-on-failure -j "$jobs" "${ctest_args[@]}") || status=1
fi

exit $status
