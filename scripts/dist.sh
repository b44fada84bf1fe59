#!/usr/bin/env bash
# make dist: builds the two release archives and puts them into build/dist:
#   kestrom-master-VERSION-win64.zip          KestromMaster.exe, kestrom-master-cli.exe,
#                                             the guide, the demo, the licence texts
#   kestrom-master-VERSION-linux-x86_64.tar.gz  kestrom-master-cli and kestrom-slave-sim
# VERSION is the one the project() line of CMakeLists.txt sets. Only what the
# archives hold is built (not the tests). The Linux programs from the tarball
# are then run once, to show they start. make test checks the Windows zip
# under Wine (test win.release_zip).
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
cd "$root"
bash scripts/install-deps.sh
BUILD_TARGETS=dist JOBS=${JOBS:-2} bash scripts/build.sh win release

# Each tree's build wrote the version it packed with (cmake/Dist.cmake).
version=$(cat build/win/dist/version.txt)
if [ "$(cat build/release/dist/version.txt)" != "$version" ]; then
  echo "dist: the Windows and the Linux trees were configured with different versions" >&2
  exit 1
fi
zip=build/win/dist/kestrom-master-$version-win64.zip
tarball=build/release/dist/kestrom-master-$version-linux-x86_64.tar.gz
mkdir -p build/dist
cp "$zip" "$tarball" build/dist/
archives=("build/dist/${zip##*/}" "build/dist/${tarball##*/}")

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
tar -xzf "$tarball" -C "$work"
for program in "$work"/*/bin/*; do
  "$program" --help >/dev/null || { echo "dist: $(basename "$program") --help failed" >&2; exit 1; }
done

echo
for archive in "${archives[@]}"; do
  printf '%s  (%s)\n' "$archive" "$(du -h "$archive" | cut -f1)"
done
