#!/usr/bin/env bash
# Builds Veltrano (Release) and starts it in a race folder (default ./race).
set -euo pipefail
cd "$(dirname "${BASH_SOURCE[0]}")"
root="$(pwd)"
folder="${1:-$root/race}"

tools/ensure-packages.sh

cmake -S . -B build -DCMAKE_BUILD_TYPE=Release >/dev/null
cmake --build build -j"$(nproc)" --target Veltrano

mkdir -p "$folder"
for sample in Kategorie.txt Start.wav; do
  [[ -e "$folder/$sample" ]] || cp "$root/data/$sample" "$folder/$sample"
done

cd "$folder"
exec "$root/build/Veltrano"
