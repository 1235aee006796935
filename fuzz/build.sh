#!/usr/bin/env bash
# Builds the fuzz targets with clang into build-fuzz/: a configure of its own, so the g++
# builds are untouched. Only the targets and the libraries they need are built.
set -euo pipefail
cd "$(dirname "${BASH_SOURCE[0]}")/.."
launcher=()
command -v ccache >/dev/null && launcher=(-DCMAKE_CXX_COMPILER_LAUNCHER=ccache)
CC=clang CXX=clang++ cmake -S . -B build-fuzz -DCMAKE_BUILD_TYPE=RelWithDebInfo -DVELTRANO_FUZZ=ON "${launcher[@]}" >/dev/null
cmake --build build-fuzz --target fuzz_all -j"${VELTRANO_FUZZ_JOBS:-$(nproc)}"
