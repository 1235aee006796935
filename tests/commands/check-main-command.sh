#!/usr/bin/env bash
# Runs the README's main command on this checkout as a user would, through the same script,
# build folder and executable path as a normal start: first `./veltrano.sh --version`, then
# `./veltrano.sh FOLDER`, which must seed FOLDER and keep the window open in it.
set -uo pipefail
root="$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)"
scratch="$(mktemp -d)"
trap 'rm -rf "$scratch"' EXIT
fail() { echo "main command: $*" >&2; exit 1; }

version="$("$root/veltrano.sh" --version 2>"$scratch/err")"
rc=$?
[[ $rc -eq 0 ]] || fail "'./veltrano.sh --version' ended with status $rc: $(tail -n 20 "$scratch/err")"
[[ "$version" =~ ^Veltrano\ [0-9]+\.[0-9]+$ ]] || fail "'./veltrano.sh --version' printed '$version'"
echo "main command: ./veltrano.sh --version -> $version"

# A real start, headless, in a folder the script has to make and seed.
folder="$scratch/Rennen"
QT_QPA_PLATFORM=offscreen XDG_CONFIG_HOME="$scratch/config" "$root/veltrano.sh" "$folder" \
  >"$scratch/out" 2>&1 &
pid=$!
for _ in $(seq 600); do
  [[ -e "$folder/Veltrano.journal" ]] && break
  kill -0 "$pid" 2>/dev/null || break
  sleep 0.1
done
alive=0
kill -0 "$pid" 2>/dev/null && alive=1
kill -9 "$pid" 2>/dev/null
wait "$pid" 2>/dev/null
((alive)) || fail "'./veltrano.sh FOLDER' did not keep the program running: $(tail -n 20 "$scratch/out")"
[[ -e "$folder/Veltrano.journal" ]] || fail "'./veltrano.sh FOLDER' left no Veltrano.journal in FOLDER"
# Every sample the README names, the participant list example included.
for sample in Kategorie.txt Start.wav Teilnehmer-Beispiel.txt; do
  cmp -s "$root/data/$sample" "$folder/$sample" || fail "'./veltrano.sh FOLDER' did not seed $sample into FOLDER"
done
echo "main command: ./veltrano.sh FOLDER -> the program runs in FOLDER, seeded"
