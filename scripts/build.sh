#!/usr/bin/env bash
# scripts/build.sh [native|win|fuzz|tsan|release]...  configures (once) and builds those trees.
# BUILD_TARGETS="a b" builds only those targets (and what they need) in each tree.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
cd "$root"
jobs=${JOBS:-$(nproc)}
# ccache keys on paths relative to the checkout, so a second checkout of the
# project (or a moved one) reuses what the first compiled.
export CCACHE_BASEDIR="$root" CCACHE_NOHASHDIR=1

# Configures a new tree with its options; an existing tree is configured again
# (cheaply) so that module folders added since are picked up.
configure() {
  local dir=$1; shift
  if [ ! -f "build/$dir/CMakeCache.txt" ]; then
    cmake -S . -B "build/$dir" -G Ninja "$@" >/dev/null
  else
    cmake "build/$dir" >/dev/null
  fi
}

for tree in "$@"; do
  case $tree in
    native)  configure native -DCMAKE_BUILD_TYPE=Debug -DKESTROM_SANITIZE=address ;;
    tsan)    configure tsan -DCMAKE_BUILD_TYPE=Debug -DKESTROM_SANITIZE=thread -DKESTROM_BENCH=OFF ;;
    release) configure release -DCMAKE_BUILD_TYPE=Release -DKESTROM_TESTS=OFF ;;
    win)     configure win -DCMAKE_BUILD_TYPE=Release -DKESTROM_BENCH=OFF \
               -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-w64-x86_64.cmake ;;
    fuzz)    configure fuzz -DCMAKE_BUILD_TYPE=RelWithDebInfo -DKESTROM_FUZZ=ON \
               -DCMAKE_C_COMPILER=clang -DCMAKE_CXX_COMPILER=clang++ ;;
    *) echo "unknown build tree: $tree" >&2; exit 2 ;;
  esac
  echo "== building $tree"
  targets=()
  for target in ${BUILD_TARGETS:-}; do targets+=(--target "$target"); done
  cmake --build "build/$tree" -j "$jobs" "${targets[@]}"
done
