#!/usr/bin/env bash
# Prepares a fresh Debian machine for both builds. Run as root; safe to run
# again: packages already present are kept and the cross-built libcrypto is
# taken from its cache.
set -euo pipefail

CACHE_ROOT="${PALVO_DEPS_CACHE:-/var/cache/palvo-deps}"

packages=(
  cmake make ninja-build g++ dpkg-dev
  mingw-w64 g++-mingw-w64-x86-64-posix
  wine wine64
  googletest libssl-dev
  libbenchmark-dev rapidjson-dev nlohmann-json3-dev
)

missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
if [ "${#missing[@]}" -gt 0 ]; then
  echo "setup: installing ${missing[*]}"
  export DEBIAN_FRONTEND=noninteractive
  apt-get update -q
  apt-get install -y -q --no-install-recommends "${missing[@]}"
fi

# libcrypto for the Windows target is not packaged: cross-build it from the
# Debian source package, once per source version.
have_src_entries() {
  grep -rqs "deb-src" /etc/apt/sources.list /etc/apt/sources.list.d/ 2>/dev/null
}
if ! have_src_entries; then
  if [ -f /etc/apt/sources.list.d/debian.sources ]; then
    sed 's/^Types: deb$/Types: deb-src/' /etc/apt/sources.list.d/debian.sources \
      > /etc/apt/sources.list.d/palvo-deb-src.sources
  else
    grep -E '^deb ' /etc/apt/sources.list | sed 's/^deb /deb-src /' \
      > /etc/apt/sources.list.d/palvo-deb-src.list
  fi
  apt-get update -q
fi

mkdir -p "$CACHE_ROOT"
ready=$(ls -d "$CACHE_ROOT"/openssl-*/.complete 2>/dev/null | head -n 1 || true)
if [ -n "$ready" ]; then
  echo "setup: libcrypto for Windows cached in $(dirname "$ready")"
  ln -sfn "$(dirname "$ready")" "$CACHE_ROOT/openssl-win64"
  exit 0
fi

versions=$(apt-cache showsrc openssl 2>/dev/null | awk '/^Version:/ {print $2}' | sort -V -r | uniq)
[ -n "$versions" ] || { echo "setup: no openssl source package is known to apt" >&2; exit 1; }

built=""
for v in $versions; do
  dest="$CACHE_ROOT/openssl-$v"
  work=$(mktemp -d)
  echo "setup: building libcrypto $v for Windows"
  if (cd "$work" && apt-get source -q --download-only "openssl=$v" >/dev/null 2>&1 \
        && dpkg-source -x --no-check ./*.dsc src >/dev/null); then
    (
      cd "$work/src"
      ./Configure mingw64 no-shared no-asm no-tests no-engine no-module \
        --cross-compile-prefix=x86_64-w64-mingw32- --prefix="$dest" >/dev/null
      make -j"$(nproc)" build_libs >/dev/null
      mkdir -p "$dest/lib" "$dest/include"
      cp libcrypto.a "$dest/lib/"
      cp -r include/openssl "$dest/include/"
    ) && touch "$dest/.complete" && built="$dest"
  fi
  rm -rf "$work"
  [ -n "$built" ] && break
  echo "setup: openssl $v could not be fetched or built; trying an older one" >&2
done
[ -n "$built" ] || { echo "setup: no openssl source could be built" >&2; exit 1; }
ln -sfn "$built" "$CACHE_ROOT/openssl-win64"
echo "setup: libcrypto for Windows in $built"
