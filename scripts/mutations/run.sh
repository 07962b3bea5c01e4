#!/bin/bash
# Applies each recorded mutation (a patch that undoes a mend), builds the
# test target it names and runs its filter, which must fail; then restores
# the tree. Not run by CI.
#   bash scripts/mutations/run.sh [patch ...]   (default: every patch here)
set -u
cd "$(dirname "$0")/../.."
root=$PWD
patches=("$@")
if [ ${#patches[@]} -eq 0 ]; then
  patches=(scripts/mutations/*.patch)
fi
caught=0
missed=0
for patch in "${patches[@]}"; do
  target=$(sed -n 's/^# target: *//p' "$patch" | head -1)
  build=$(sed -n 's/^# build: *//p' "$patch" | head -1)
  filter=$(sed -n 's/^# filter: *//p' "$patch" | head -1)
  if ! git apply "$patch"; then
    echo "FAILED TO APPLY $patch"
    missed=$((missed + 1))
    continue
  fi
  out=$root/out/$build
  status=0
  if cmake --build "$out" -j "${PALVO_JOBS:-3}" --target "$target" >/dev/null; then
    if [ "$build" = win ]; then
      PALVO_BUILD_DIR=$out timeout 600 bash scripts/wine_run.sh \
        "$out/$target.exe" --gtest_filter="$filter" >/dev/null 2>&1
    else
      timeout 600 "$out/$target" --gtest_filter="$filter" >/dev/null 2>&1
    fi
    status=$?
  else
    echo "build failed under $patch (counts as caught)"
    status=1
  fi
  git apply -R "$patch"
  if [ $status -ne 0 ]; then
    echo "caught  $patch"
    caught=$((caught + 1))
  else
    echo "MISSED  $patch"
    missed=$((missed + 1))
  fi
done
echo "$caught caught, $missed missed"
[ $missed -eq 0 ]
