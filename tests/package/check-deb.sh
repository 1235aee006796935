#!/usr/bin/env bash
# Checks the two built packages as a race laptop gets them: the program (veltrano) and its
# spreadsheet module (veltrano-calc), given in any order. Their control fields and file lists;
# that the program alone pulls in no office package and neither has maintainer scripts; then,
# installed with apt-get into this machine: --version, the launcher seeding ~/Veltrano, the Excel
# button naming the module's package while it is missing, the module loadable where the program
# looks for it once installed, and nothing of either left after apt-get remove or purge.
# Needs root (or sudo) and neither package installed beforehand; removes what it installed,
# also when a check fails.
set -uo pipefail
here="$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)"
scratch="$(mktemp -d)"
failures=0
fail() { echo "package: $*" >&2; failures=$((failures + 1)); }
as_root() { if ((EUID == 0)); then "$@"; else sudo "$@"; fi; }
apt() {
  as_root env DEBIAN_FRONTEND=noninteractive apt-get -y -q -o DPkg::Lock::Timeout=300 "$@" \
    >>"$scratch/apt.log" 2>&1 || { fail "apt-get $* failed: $(tail -n 20 "$scratch/apt.log")"; return 1; }
}
state() { dpkg-query -W -f='${db:Status-Abbrev}' "$1" 2>/dev/null | tr -d ' '; }
pids=()
installed=0
cleanup() {
  for p in "${pids[@]}"; do kill -9 "$p" 2>/dev/null; done
  if ((installed)); then
    as_root env DEBIAN_FRONTEND=noninteractive apt-get -y -q -o DPkg::Lock::Timeout=300 \
      purge veltrano-calc veltrano >/dev/null 2>&1
  fi
  rm -rf "$scratch"
}
trap cleanup EXIT

program_deb="" module_deb=""
for deb in "$@"; do
  case "$(dpkg-deb -f "$deb" Package)" in
    veltrano) program_deb="$(realpath "$deb")" ;;
    veltrano-calc) module_deb="$(realpath "$deb")" ;;
    *) fail "$deb is neither veltrano nor veltrano-calc" ;;
  esac
done
[[ -n "$program_deb" && -n "$module_deb" ]] || { fail "usage: check-deb.sh veltrano_*.deb veltrano-calc_*.deb"; exit 1; }
field() { dpkg-deb -f "$1" "$2"; }
version="$(field "$program_deb" Version)"
arch="$(dpkg --print-architecture)"
multiarch="$(dpkg-architecture -qDEB_HOST_MULTIARCH 2>/dev/null || gcc -print-multiarch)"
# Where the program looks for its module: beside itself, or here (relative to /usr/bin).
module_path="/usr/lib/$multiarch/veltrano/libveltrano_office.so"

# Control fields.
for deb in "$program_deb" "$module_deb"; do
  package="$(field "$deb" Package)"
  [[ "$version" =~ ^[0-9]+\.[0-9]+$ && "$(field "$deb" Version)" == "$version" ]] \
    || fail "$package: Version is '$(field "$deb" Version)'"
  [[ "$(field "$deb" Architecture)" == "$arch" ]] || fail "$package: Architecture is '$(field "$deb" Architecture)'"
  [[ "$(basename "$deb")" == "${package}_${version}_${arch}.deb" ]] || fail "file name $(basename "$deb")"
  [[ -n "$(field "$deb" Maintainer)" && -n "$(field "$deb" Description)" ]] || fail "$package: no Maintainer or Description"
  # No maintainer scripts, triggers or conffiles: nothing that runs at install or keeps the
  # package half there (state rc) after a remove.
  control="$(dpkg-deb --ctrl-tarfile "$deb" | tar -t | sed 's|^\./||' | grep -v '^$' | sort | tr '\n' ' ')"
  [[ "$control" == "control md5sums " ]] || fail "$package: control archive holds $control"
done
depends="$(field "$program_deb" Depends)"
# The Qt libraries come from dpkg-shlibdeps, with versions; the platform plugins are named.
for needed in 'libqt6widgets6 (>=' 'libqt6core6 (>=' 'libqt6multimedia6 (>=' 'libc6 (>=' qt6-qpa-plugins fonts-liberation; do
  [[ "$depends" == *"$needed"* ]] || fail "veltrano: Depends lacks '$needed': $depends"
done
for relation in Pre-Depends Depends Recommends; do
  value="$(field "$program_deb" "$relation")"
  ! grep -qiE 'libreoffice|uno' <<<"$value" || fail "veltrano: $relation names an office package: $value"
done
[[ "$(field "$program_deb" Suggests)" == *veltrano-calc* ]] || fail "veltrano: Suggests is '$(field "$program_deb" Suggests)'"
module_depends="$(field "$module_deb" Depends)"
for needed in "veltrano (= $version)" 'libreoffice-calc' 'libuno-sal3'; do
  [[ "$module_depends" == *"$needed"* ]] || fail "veltrano-calc: Depends lacks '$needed': $module_depends"
done

# What installing the program alone pulls in, on a machine that has nothing yet (an empty
# package status): no office package, whatever this machine has installed.
: >"$scratch/status"
if ! apt-get -s -o Dir::State::status="$scratch/status" -o Debug::NoLocking=1 install "$program_deb" \
     >"$scratch/simulate.log" 2>&1; then
  fail "apt-get install --simulate of the program failed: $(tail -n 5 "$scratch/simulate.log")"
elif office="$(grep '^Inst ' "$scratch/simulate.log" | awk '{print $2}' | grep -iE 'libreoffice|uno')"; then
  fail "installing the program alone pulls in $(tr '\n' ' ' <<<"$office")"
fi

# File lists: the program's package holds no library; the module's holds the module alone.
listing() { dpkg-deb -c "$1" | awk '{print $6}' | sed 's|^\./|/|'; }
program_files="$(listing "$program_deb")"
for path in /usr/bin/Veltrano /usr/bin/veltrano /usr/share/veltrano/Veltrano.hlp \
            /usr/share/veltrano/Kategorie.txt /usr/share/veltrano/Start.wav \
            /usr/share/veltrano/Teilnehmer-Beispiel.txt \
            /usr/share/applications/example.quorvex.veltrano.desktop \
            /usr/share/metainfo/example.quorvex.veltrano.metainfo.xml \
            /usr/share/icons/hicolor/scalable/apps/veltrano.svg; do
  grep -qxF "$path" <<<"$program_files" || fail "veltrano lacks $path"
done
! grep -q '\.so' <<<"$program_files" || fail "veltrano holds a library: $(grep '\.so' <<<"$program_files")"
module_files="$(listing "$module_deb" | grep -v '/$')"
[[ "$module_files" == "$module_path" ]] || fail "veltrano-calc holds '$module_files', not $module_path"

# Installed for real. A package already there belongs to someone: it is not touched.
for package in veltrano veltrano-calc; do
  [[ -z "$(state "$package")" || "$(state "$package")" == un ]] \
    || { fail "$package is already on this machine ($(state "$package")): remove it before the check"; exit 1; }
done
installed=1
apt install "$program_deb" || exit 1
[[ "$(state veltrano)" == ii ]] || fail "veltrano is '$(state veltrano)' after apt-get install"
for program in Veltrano veltrano; do
  out="$(env -u DISPLAY -u WAYLAND_DISPLAY QT_QPA_PLATFORM=xcb "/usr/bin/$program" --version 2>&1)"
  [[ "$out" == "Veltrano $version" ]] || fail "installed $program --version printed '$out'"
done

# The desktop entry's launcher seeds ~/Veltrano (a home of our own) with every sample the README
# names, the participant list example included, and keeps the program running there.
home="$scratch/home"
mkdir -p "$home"
HOME="$home" XDG_CONFIG_HOME="$home/.config" QT_QPA_PLATFORM=offscreen /usr/bin/veltrano \
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
[[ -e "$home/Veltrano/Veltrano.journal" ]] || fail "the installed launcher did not start the program in ~/Veltrano"
for sample in Kategorie.txt Start.wav Teilnehmer-Beispiel.txt; do
  cmp -s "/usr/share/veltrano/$sample" "$home/Veltrano/$sample" || fail "the installed launcher did not seed $sample into ~/Veltrano"
done
desktop-file-validate /usr/share/applications/example.quorvex.veltrano.desktop || fail "desktop-file-validate failed"
appstreamcli validate --no-net /usr/share/metainfo/example.quorvex.veltrano.metainfo.xml || fail "appstreamcli validate failed"

# Without the module the Excel button says what to install, in the real window.
VELTRANO_MODULE_PACKAGE=veltrano-calc "$here/../a11y/run-atspi.sh" /usr/bin/Veltrano "$here/atspi_excel_missing.py" \
  >"$scratch/atspi.log" 2>&1 || fail "the Excel button without the module: $(tail -n 20 "$scratch/atspi.log")"

# With it, the module sits where the program looks and loads with the libraries it needs.
apt install "$module_deb" || exit 1
[[ "$(state veltrano-calc)" == ii ]] || fail "veltrano-calc is '$(state veltrano-calc)' after apt-get install"
[[ "$(realpath -m "/usr/bin/../lib/$multiarch/veltrano/libveltrano_office.so")" == "$module_path" && -f "$module_path" ]] \
  || fail "the module is not at $module_path"
python3 -c 'import ctypes, sys; ctypes.CDLL(sys.argv[1]).VeltranoCreateSpreadsheetAutomation' "$module_path" \
  2>"$scratch/load.log" || fail "the installed module does not load: $(cat "$scratch/load.log")"

# Remove, and purge after a second install, leave nothing of either package: no rc line, no file.
gone() {
  for package in veltrano veltrano-calc; do
    [[ -z "$(state "$package")" || "$(state "$package")" == un ]] || fail "$package is '$(state "$package")' after apt-get $1"
  done
  for path in $program_files $module_files /usr/share/veltrano "/usr/lib/$multiarch/veltrano"; do
    [[ "$path" == */ || ! -e "$path" ]] || fail "$path is left after apt-get $1"
  done
}
apt remove veltrano-calc veltrano && gone remove
apt install "$program_deb" "$module_deb" && apt purge veltrano-calc veltrano && { installed=0; gone purge; }

((failures == 0)) || exit 1
echo "package: $(basename "$program_deb") and $(basename "$module_deb") checked: fields, dependencies, files," \
     "install, launcher, Excel without and with the module, remove and purge"
