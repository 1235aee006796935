#!/usr/bin/env bash
# Builds the program (Release, build/) and packs it: build/veltrano_<version>_<arch>.deb, the
# program, and build/veltrano-calc_<version>_<arch>.deb, its spreadsheet module (where the office
# SDK is installed). Prints the packages' paths, one a line.
set -euo pipefail
root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
cd "$root"

tools/build-program.sh >/dev/null
log="$(mktemp)"
trap 'rm -f "$log"' EXIT
(cd build && cpack -G DEB) >"$log" 2>&1 || { cat "$log" >&2; exit 1; }
cat "$log" >&2
# CPack says "CPack: - package: <path> generated." for each package it wrote.
sed -n 's/^CPack: - package: \(.*\.deb\) generated\.$/\1/p' "$log"
