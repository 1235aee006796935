#!/usr/bin/env bash
# Builds the program (Release, build/) and packs it as build/veltrano_<version>_<arch>.deb;
# prints the package's path.
set -euo pipefail
root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
cd "$root"

tools/build-program.sh >/dev/null
(cd build && cpack -G DEB >&2)
ls -t build/veltrano_*.deb | head -n 1
