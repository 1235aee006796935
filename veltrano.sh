#!/usr/bin/env bash
# Builds Veltrano (Release) and starts it in a race folder (default ./race), seeded with the
# sample Kategorie.txt and Start.wav. Options such as --help and --version go to the program as
# they are, and then no folder is made.
set -euo pipefail
root="$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)"

program="$("$root/tools/build-program.sh" --target Veltrano)"

if (($# > 1)) || [[ "${1:-}" == -* ]]; then
  exec "$program" "$@"
fi

folder="${1:-$root/race}"
mkdir -p "$folder"
for sample in Kategorie.txt Start.wav; do
  [[ -e "$folder/$sample" ]] || cp "$root/data/$sample" "$folder/$sample"
done
exec "$program" "$folder"
