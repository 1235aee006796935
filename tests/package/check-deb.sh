#!/usr/bin/env bash
# Checks a built package as a race laptop would get it: its control fields and file list, the
# installed tree (unpacked with dpkg -x) answering --version and seeding ~/Veltrano through its
# launcher, and its desktop entry and AppStream metainfo passing their validators.
set -uo pipefail
deb="$(realpath "$1")"
scratch="$(mktemp -d)"
pids=()
trap 'for p in "${pids[@]}"; do kill -9 "$p" 2>/dev/null; done; rm -rf "$scratch"' EXIT
failures=0
fail() { echo "package: $*" >&2; failures=$((failures + 1)); }

# Control fields.
field() { dpkg-deb -f "$deb" "$1"; }
[[ "$(field Package)" == veltrano ]] || fail "Package is '$(field Package)'"
[[ "$(field Version)" =~ ^[0-9]+\.[0-9]+$ ]] || fail "Version is '$(field Version)'"
[[ "$(field Architecture)" == "$(dpkg --print-architecture)" ]] || fail "Architecture is '$(field Architecture)'"
[[ "$(basename "$deb")" == "veltrano_$(field Version)_$(field Architecture).deb" ]] || fail "file name $(basename "$deb")"
depends="$(field Depends)"
# The Qt libraries come from dpkg-shlibdeps, with versions; the platform plugins are named.
for needed in 'libqt6widgets6 (>=' 'libqt6core6 (>=' 'libqt6multimedia6 (>=' 'libc6 (>=' qt6-qpa-plugins fonts-liberation; do
  [[ "$depends" == *"$needed"* ]] || fail "Depends lacks '$needed': $depends"
done
[[ -n "$(field Maintainer)" && -n "$(field Description)" ]] || fail "no Maintainer or Description"

# File list.
listing="$(dpkg-deb -c "$deb" | awk '{print $6}')"
for path in ./usr/bin/Veltrano ./usr/bin/veltrano ./usr/share/veltrano/Veltrano.hlp \
            ./usr/share/veltrano/Kategorie.txt ./usr/share/veltrano/Start.wav \
            ./usr/share/veltrano/Teilnehmer-Beispiel.txt \
            ./usr/share/applications/example.quorvex.veltrano.desktop \
            ./usr/share/metainfo/example.quorvex.veltrano.metainfo.xml \
            ./usr/share/icons/hicolor/scalable/apps/veltrano.svg; do
  grep -qxF "$path" <<<"$listing" || fail "the package lacks $path"
done

# The installed tree.
tree="$scratch/root"
dpkg -x "$deb" "$tree" || fail "dpkg -x failed"
for program in Veltrano veltrano; do
  out="$(env -u DISPLAY -u WAYLAND_DISPLAY QT_QPA_PLATFORM=xcb "$tree/usr/bin/$program" --version 2>&1)"
  [[ "$out" == "Veltrano $(field Version)" ]] || fail "installed $program --version printed '$out'"
done
home="$scratch/home"
mkdir -p "$home"
HOME="$home" XDG_CONFIG_HOME="$home/.config" QT_QPA_PLATFORM=offscreen "$tree/usr/bin/veltrano" \
  >"$scratch/launcher.log" 2>&1 &
pids+=($!)
for _ in $(seq 300); do
  [[ -e "$home/Veltrano/Veltrano.journal" ]] && break
  kill -0 "${pids[-1]}" 2>/dev/null || break
  sleep 0.1
done
kill -0 "${pids[-1]}" 2>/dev/null || fail "the installed launcher did not keep the program running: $(cat "$scratch/launcher.log")"
kill -9 "${pids[-1]}" 2>/dev/null
wait "${pids[-1]}" 2>/dev/null
for file in Kategorie.txt Start.wav Veltrano.journal; do
  [[ -e "$home/Veltrano/$file" ]] || fail "the installed launcher left no $file in ~/Veltrano"
done

# Validators.
desktop-file-validate "$tree/usr/share/applications/example.quorvex.veltrano.desktop" \
  || fail "desktop-file-validate failed"
appstreamcli validate --no-net "$tree/usr/share/metainfo/example.quorvex.veltrano.metainfo.xml" \
  || fail "appstreamcli validate failed"

((failures == 0)) || exit 1
echo "package: $(basename "$deb") checked: fields, files, installed tree, desktop entry, metainfo"
