#!/usr/bin/env bash
# Builds both targets and runs every test: the host build natively under the
# sanitizers, the Windows build under Wine.
#   --host-only / --win-only   one of the two
#   extra arguments after --   passed to ctest (for example -R base_unittests);
#                              a selection that matches no test is an error
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

# Settings inherited from the environment that would make the run test less
# while still passing are refused: a narrowing GoogleTest variable (filter,
# shards, repeat, listing, flag file, ...) or a shorter fuzz time.
allowed_gtest="GTEST_ALSO_RUN_DISABLED_TESTS GTEST_BREAK_ON_FAILURE GTEST_BRIEF
  GTEST_CATCH_EXCEPTIONS GTEST_COLOR GTEST_DEATH_TEST_STYLE GTEST_FAIL_FAST
  GTEST_OUTPUT GTEST_PRINT_TIME GTEST_PRINT_UTF8 GTEST_RANDOM_SEED GTEST_SHUFFLE
  GTEST_STACK_TRACE_DEPTH"
refused=0
for name in $(compgen -e | grep '^GTEST_' || true); do
  case " $(echo $allowed_gtest) " in
    *" $name "*) ;;
    *) echo "test.sh: $name=${!name} is set; it would narrow the run. Unset it" \
         "(run a test executable directly to pick tests)." >&2
       refused=1 ;;
  esac
done
# The fuzz driver's own default (testing/fuzz_driver.cc); more is fine.
min_fuzz_seconds=20
if [ -n "${PALVO_FUZZ_SECONDS:-}" ] &&
   ! { [[ $PALVO_FUZZ_SECONDS =~ ^[0-9]+$ ]] &&
       [ "$PALVO_FUZZ_SECONDS" -ge $min_fuzz_seconds ]; }; then
  echo "test.sh: PALVO_FUZZ_SECONDS=$PALVO_FUZZ_SECONDS is set; the fuzz targets" \
       "need at least $min_fuzz_seconds. Unset it." >&2
  refused=1
fi
[ $refused = 0 ] || exit 2

status=0
bash "$root/scripts/setup.sh"
# Files and keys are changed through held handles; a by-name change fails the run.
bash "$root/scripts/check_by_name_calls.sh" || status=1
jobs=${PALVO_JOBS:-$(nproc)}

seed=${PALVO_TEST_SEED:-$(( (RANDOM * 32768 + RANDOM) % 99999 + 1 ))}
echo "== test order shuffled with seed $seed (PALVO_TEST_SEED=$seed replays it)"
export GTEST_SHUFFLE=1 GTEST_RANDOM_SEED=$seed PALVO_FUZZ_SEED=${PALVO_FUZZ_SEED:-$seed}

if [ $do_host = 1 ]; then
  echo "== host build (sanitizers)"
  cmake -S "$root" -B "$root/out/host" -G Ninja >/dev/null
  cmake --build "$root/out/host" -j "$jobs"
  (cd "$root/out/host" && \
    ASAN_OPTIONS=detect_leaks=1:abort_on_error=1 UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1 \
    ctest --output-on-failure --no-tests=error -j "$jobs" "${ctest_args[@]}") || status=1
fi

if [ $do_win = 1 ]; then
  echo "== Windows build (tests under Wine)"
  cmake -S "$root" -B "$root/out/win" -G Ninja \
    -DCMAKE_TOOLCHAIN_FILE="$root/cmake/mingw-w64-x86_64.cmake" >/dev/null
  cmake --build "$root/out/win" -j "$jobs"
  (cd "$root/out/win" && \
    ctest --output-on-failure --no-tests=error -j "$jobs" "${ctest_args[@]}") || status=1
fi

exit $status
