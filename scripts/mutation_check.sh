#!/usr/bin/env bash
# Undoes recorded mends one at a time and checks that a test notices: each
# scripts/mutations/*.patch (or each patch named) is applied, its target
# built, its filter run and then the whole executable; the patch is taken
# back out before the next. Not run by CI.
#   bash scripts/mutation_check.sh [--filter-only] [PATCH...]
# Each patch starts with "# target:", "# build:" (win or host) and
# "# filter:" lines; a run longer than PALVO_MUTATION_TIMEOUT seconds (600)
# counts as failed. A "# known-miss: why" line marks a mutation that no test
# can catch here. Exit code 1 when any other mutation was missed or broke.
set -u
cd "$(dirname "$0")/.."
root=$PWD
jobs=${PALVO_JOBS:-3}
limit=${PALVO_MUTATION_TIMEOUT:-600}
whole=1
if [ "${1:-}" = --filter-only ]; then whole=0; shift; fi
patches=("$@")
[ ${#patches[@]} -eq 0 ] && patches=(scripts/mutations/*.patch)

field() { sed -n "s/^# $1: *//p" "$2" | head -n 1; }

# A run that does not end within the limit counts as a failure.
run_tests() {  # build target [gtest args...]
  local build=$1 target=$2
  shift 2
  if [ "$build" = win ]; then
    PALVO_BUILD_DIR=$root/out/win timeout "$limit" bash scripts/wine_run.sh \
      "out/win/$target.exe" "$@"
  else
    timeout "$limit" "out/host/$target" "$@"
  fi
}

applied=""
restore() { [ -n "$applied" ] && git apply -R "$applied"; applied=""; }
trap restore EXIT INT TERM

status=0
for patch in "${patches[@]}"; do
  target=$(field target "$patch")
  build=$(field build "$patch")
  filter=$(field filter "$patch")
  name=$(basename "$patch" .patch)
  log=$root/out/mutation_$name.log
  if ! git apply --check "$patch" 2>"$log"; then
    echo "STALE   $name (does not apply; see $log)"; status=1; continue
  fi
  git apply "$patch" && applied=$patch
  if ! cmake --build "out/$build" -j "$jobs" --target "$target" >>"$log" 2>&1; then
    echo "BROKEN  $name (does not build; see $log)"; status=1; restore; continue
  fi
  if ! run_tests "$build" "$target" --gtest_filter="$filter" >>"$log" 2>&1; then
    echo "CAUGHT  $name by $filter"
  elif [ $whole = 1 ] && ! run_tests "$build" "$target" >>"$log" 2>&1; then
    echo "CAUGHT  $name outside $filter (see $log)"
  elif [ -n "$(field known-miss "$patch")" ]; then
    echo "KNOWN   $name missed: $(field known-miss "$patch")"
  else
    echo "MISSED  $name"; status=1
  fi
  restore
done
exit $status
