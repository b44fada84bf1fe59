#!/usr/bin/env bash
# Installs, with apt-get, whatever the build, the tests and the peers need and
# is not yet on the machine. Safe to run again: it does nothing when all is there.
set -euo pipefail

packages=(
  build-essential cmake ninja-build ccache pkg-config
  g++-mingw-w64-x86-64-posix mingw-w64-tools
  wine wine64 xvfb xauth fonts-wine imagemagick xdotool
  python3-pil python3-markdown
  googletest libgtest-dev libgmock-dev libbenchmark-dev
  libcpp-httplib-dev
  clang libclang-rt-14-dev
  python3 python3-pymodbus python3-serial python3-serial-asyncio
  libmodbus-dev mbpoll socat curl wrk
)

as_root() { if [ "$(id -u)" -eq 0 ]; then "$@"; else sudo "$@"; fi; }

missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
done

updated=0
apt_update() { [ "$updated" -eq 1 ] || { as_root apt-get update -qq; updated=1; }; }

if [ "${#missing[@]}" -gt 0 ]; then
  echo "Installing: ${missing[*]}"
  apt_update
  as_root env DEBIAN_FRONTEND=noninteractive apt-get install -y -qq --no-install-recommends "${missing[@]}"
fi

# The MinGW build needs cpp-httplib's single header. Debian ships it only in the
# source package; the deb-src entry is derived from the machine's own sources.
here=$(cd "$(dirname "$0")/.." && pwd)
vendor="$here/build/vendor/httplib"
if [ ! -f "$vendor/httplib.h" ]; then
  src_list=/etc/apt/sources.list.d/debian-src.sources
  if ! grep -rqs '^Types:.*deb-src\|^deb-src' /etc/apt/sources.list /etc/apt/sources.list.d/; then
    if [ -f /etc/apt/sources.list.d/debian.sources ]; then
      sed 's/^Types: deb$/Types: deb-src/' /etc/apt/sources.list.d/debian.sources | as_root tee "$src_list" >/dev/null
    elif [ -f /etc/apt/sources.list ]; then
      grep '^deb ' /etc/apt/sources.list | sed 's/^deb /deb-src /' | as_root tee /etc/apt/sources.list.d/debian-src.list >/dev/null
    fi
    updated=0
  fi
  apt_update
  tmp=$(mktemp -d)
  (cd "$tmp" && apt-get source -qq --download-only cpp-httplib >/dev/null 2>&1 || true
   cd "$tmp" && dpkg-source -x --no-check ./*.dsc src >/dev/null 2>&1 || apt-get source -qq cpp-httplib >/dev/null)
  header=$(find "$tmp" -name httplib.h -path '*httplib*' | head -n 1)
  [ -n "$header" ] || { echo "httplib.h not found in Debian's cpp-httplib source" >&2; exit 1; }
  mkdir -p "$vendor"
  cp "$header" "$vendor/httplib.h"
  rm -rf "$tmp"
fi
