#!/usr/bin/env bash
# Installs what is missing and builds the program (Release) into build/; prints the path of the
# executable, which the build itself records. Both veltrano.sh and make-deb.sh start here.
# Arguments go to `cmake --build` (e.g. --target Veltrano).
set -euo pipefail
root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
cd "$root"

tools/ensure-packages.sh >&2
# Configured once; later builds re-run CMake by themselves when a build file changed.
[[ -f build/CMakeCache.txt ]] || cmake -S . -B build -DCMAKE_BUILD_TYPE=Release >&2
record=build/veltrano-executable
if [[ -f "$record" && -x "$(cat "$record")" ]]; then
  # A rebuild is usually a no-op: keep the start quiet and show the log only when it fails.
  cmake --build build -j"$(nproc)" "$@" > build/build.log 2>&1 || { cat build/build.log >&2; exit 1; }
else
  cmake --build build -j"$(nproc)" "$@" >&2
fi
cat "$record"
