#!/usr/bin/env bash
# Builds the Windows product (palvo_installer.dll and its static libraries)
# into out/win. Installs what the build needs first.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
bash "$root/scripts/setup.sh"
jobs=${PALVO_JOBS:-$(nproc)}
cmake -S "$root" -B "$root/out/win" -G Ninja \
  -DCMAKE_TOOLCHAIN_FILE="$root/cmake/mingw-w64-x86_64.cmake" >/dev/null
cmake --build "$root/out/win" -j "$jobs" --target palvo_installer
echo "built $root/out/win/palvo_installer.dll"
