#!/usr/bin/env bash
# Undoes recorded mends one at a time and checks that a test notices. Each
# scripts/mutations/NAME.patch (or each patch named on the command line)
# starts with three header lines:
#   # target: base_unittests      the test executable's CMake target
#   # build: win                  win (run under Wine) or host
#   # filter: FooTest.*           the gtest filter whose run must then fail
# The patch is applied to a copy of the current tree (out/mutation/src), the
# target is built there (one build folder per build kind, so builds are
# incremental) and the filtered tests are run:
#   CAUGHT  the run failed
#   MISSED  the run passed: the mend can be undone with the tests green
#   KNOWN   missed, and the patch says why no test here can catch it (a
#           "# known-miss: why" header line)
#   BROKEN  the patch does not apply, the build fails or the filter matches
#           no test
# A run that does not end within PALVO_MUTATION_TIMEOUT seconds (600)
# counts as failed. Exits non-zero when any mutation is MISSED or BROKEN.
# Not run by CI.
set -uo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
work=$root/out/mutation
src=$work/src
jobs=${PALVO_JOBS:-3}
limit=${PALVO_MUTATION_TIMEOUT:-600}
# The filter of each patch decides what runs.
unset GTEST_FILTER GTEST_FLAGFILE GTEST_TOTAL_SHARDS GTEST_SHARD_INDEX \
  GTEST_REPEAT GTEST_LIST_TESTS GTEST_ALSO_RUN_DISABLED_TESTS

patches=("$@")
[ ${#patches[@]} -gt 0 ] || patches=("$root"/scripts/mutations/*.patch)
mkdir -p "$src" "$work/logs"

# Makes the copy equal to the tree; a changed file gets a new time stamp,
# so that the incremental build notices it.
sync_copy() {
  (cd "$root" && git ls-files -co --exclude-standard) | sort >"$work/files"
  (cd "$src" && find . -type f -printf '%P\n') | sort >"$work/copied"
  comm -13 "$work/files" "$work/copied" | (cd "$src" && xargs -r -d '\n' rm -f)
  while IFS= read -r file; do
    [ -f "$root/$file" ] || continue
    if ! cmp -s "$root/$file" "$src/$file"; then
      mkdir -p "$(dirname "$src/$file")"
      cp "$root/$file" "$src/$file"
    fi
  done <"$work/files"
}

header() {  # header FIELD PATCH
  sed -n "/^diff --git/q; s/^# $1: *//p" "$2" | head -n 1
}

build() {  # build KIND TARGET
  local dir=$work/$1 toolchain=()
  [ "$1" = win ] && toolchain=(-DCMAKE_TOOLCHAIN_FILE="$src/cmake/mingw-w64-x86_64.cmake")
  cmake -S "$src" -B "$dir" -G Ninja "${toolchain[@]}" >/dev/null &&
    cmake --build "$dir" -j "$jobs" --target "$2"
}

run_test() {  # run_test KIND TARGET ARGS...
  local kind=$1 target=$2
  shift 2
  if [ "$kind" = win ]; then
    PALVO_BUILD_DIR=$work/win timeout "$limit" \
      bash "$src/scripts/wine_run.sh" "$work/win/$target.exe" "$@"
  else
    ASAN_OPTIONS=detect_leaks=1:abort_on_error=1 \
    UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1 \
      timeout "$limit" "$work/host/$target" "$@"
  fi
}

failed=0
wine_started=0
for patch in "${patches[@]}"; do
  patch=$(realpath "$patch")
  name=$(basename "$patch" .patch)
  log=$work/logs/$name.log
  target=$(header target "$patch")
  kind=$(header build "$patch")
  filter=$(header filter "$patch")
  sync_copy
  if [ -z "$target" ] || [ -z "$filter" ] || { [ "$kind" != win ] && [ "$kind" != host ]; }; then
    result="BROKEN (header lines missing)"
  # The copy lies inside this repository: git must not treat it as part of it.
  elif ! (cd "$src" && GIT_CEILING_DIRECTORIES=$work git apply "$patch") >"$log" 2>&1; then
    result="BROKEN (does not apply)"
  elif ! build "$kind" "$target" >>"$log" 2>&1; then
    result="BROKEN (build fails)"
  else
    if [ "$kind" = win ] && [ $wine_started = 0 ]; then
      PALVO_BUILD_DIR=$work/win bash "$src/scripts/wine_run.sh" --start
      wine_started=1
    fi
    count=$(run_test "$kind" "$target" --gtest_list_tests --gtest_filter="$filter" |
              grep -c '^  ')
    if [ "$count" = 0 ]; then
      result="BROKEN (filter matches no test)"
    elif run_test "$kind" "$target" --gtest_filter="$filter" >>"$log" 2>&1; then
      why=$(header known-miss "$patch")
      result=${why:+"KNOWN ($why)"}
      result=${result:-MISSED}
    else
      result="CAUGHT"
    fi
  fi
  case $result in CAUGHT|KNOWN*) ;; *) failed=1 ;; esac
  printf '%-40s %s\n' "$name" "$result"
done
sync_copy  # leave the copy clean for the next run
[ $wine_started = 0 ] || PALVO_BUILD_DIR=$work/win bash "$src/scripts/wine_run.sh" --stop
[ $failed = 0 ] || echo "(logs in $work/logs)"
exit $failed
