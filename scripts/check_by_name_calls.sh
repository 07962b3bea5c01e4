#!/usr/bin/env bash
# Fails when the file utilities, the transactions or the installer services
# change a file, folder or key by name outside the few places allowed to.
# Everything else opens the object once, as itself, relative to a held
# parent, and acts through that handle: a by-name change can land on
# whatever another program put at the name since it was checked.
# The allowed places, with how many calls each may make and why, are in
# scripts/by_name_calls_allowed.txt ("path function count why...");
# a count of * allows any number (the handle layer itself).
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
cd "$root"
allowed=scripts/by_name_calls_allowed.txt

file_calls='DeleteFileW|RemoveDirectoryW|MoveFileExW|MoveFileW|MoveFileWithProgressW|SetFileAttributesW|SetNamedSecurityInfoW|CopyFileW|CopyFileExW|CopyFile2|CreateDirectoryW|CreateDirectoryExW|ReplaceFileW|CreateHardLinkW|CreateSymbolicLinkW'
key_calls='RegDeleteKeyW|RegDeleteKeyExW|RegDeleteTreeW|SHDeleteKeyW|SHDeleteValueW|RegCreateKeyExW|RegCreateKeyW|RegSetKeyValueW|RegDeleteKeyValueW|RegRenameKey'
pattern="::($file_calls|$key_calls)\\("

sources=$(git ls-files 'base/files/*_win.cc' 'desktop/windows/installer/service/*_win.cc' \
                       'desktop/windows/installer/service/**/*_win.cc' |
          grep -v -E '_unittest|_testsupport|_fakes|_stubs' || true)

status=0
declare -A seen=()
for source in $sources; do
  while read -r count call; do
    [ -n "$call" ] || continue
    seen["$source $call"]=1
    limit=$(awk -v p="$source" -v c="$call" '$1 == p && ($2 == c || $2 == "*") {print $3; exit}' "$allowed")
    if [ -z "$limit" ]; then
      echo "check_by_name_calls: $source calls ::$call by name ($count)" >&2
      status=1
    elif [ "$limit" != "*" ] && [ "$count" -gt "$limit" ]; then
      echo "check_by_name_calls: $source calls ::$call $count times; $limit allowed" >&2
      status=1
    fi
  done < <(grep -oE "$pattern" "$source" | sed -E 's/^:://; s/\($//' | sort | uniq -c)
done

# An allowance nothing uses any more goes, so that the list stays the truth.
while read -r path call limit _; do
  case "$path" in ''|'#'*) continue ;; esac
  [ "$call" = "*" ] && { [ -f "$path" ] || { echo "check_by_name_calls: $allowed names missing $path" >&2; status=1; }; continue; }
  if [ -z "${seen["$path $call"]:-}" ]; then
    echo "check_by_name_calls: $allowed allows $path ::$call, which it no longer calls" >&2
    status=1
  fi
done <"$allowed"

[ $status = 0 ] && echo "check_by_name_calls: no by-name change outside the allowed places"
exit $status
