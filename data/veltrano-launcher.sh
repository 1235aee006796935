#!/bin/sh
# Starts Veltrano in ~/Veltrano, seeding it with the sample files on first use.
set -e
here="$(cd "$(dirname "$0")" && pwd)"
share="$here/../share/veltrano"
folder="${VELTRANO_FOLDER:-$HOME/Veltrano}"
mkdir -p "$folder"
for sample in Kategorie.txt Start.wav; do
  [ -e "$folder/$sample" ] || cp "$share/$sample" "$folder/$sample"
done
cd "$folder"
exec "$here/Veltrano" "$@"
