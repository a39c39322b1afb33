#!/usr/bin/env bash
# The Debian package as a user gets it. Takes the one .deb of a release build
# (`make package`), checks its contents with lintian, appstreamcli and
# desktop-file-validate, the man page and the bash completion against
# `veloquin-tool --help`, unpacks it into a temporary root and runs the
# programs from there with a temporary HOME: a first start must read the
# factory calibration and write nothing outside the user's data folder and
# the screenshot folder.
#
# With VELOQUIN_FIRST_START_SHOTS=DIR the first start's "Parameters" and
# "MAF Emulation" pages are copied to DIR as first-start-*.png.
set -euo pipefail

build=${1:-build/release}
cd "$(dirname "$0")/.."

fail() {
  echo "test-package: $*" >&2
  exit 1
}

shopt -s nullglob
debs=("$build"/package/*.deb)
[ ${#debs[@]} -eq 1 ] || fail "want exactly one .deb in $build/package, found ${#debs[@]}"
deb=${debs[0]}
version=$(dpkg-deb -f "$deb" Version)

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
root=$work/root
dpkg-deb -x "$deb" "$root"

echo "test-package: contents of $(basename "$deb")"
share=$root/usr/share
expected=(
  usr/bin/veloquin usr/bin/veloquin-lite usr/bin/veloquin-tool
  usr/share/veloquin/default.cfg
  usr/share/applications/veloquin.desktop usr/share/applications/veloquin-lite.desktop
  usr/share/icons/hicolor/scalable/apps/veloquin.svg
  usr/share/icons/hicolor/48x48/apps/veloquin.png
  usr/share/icons/hicolor/128x128/apps/veloquin.png
  usr/share/icons/hicolor/256x256/apps/veloquin.png
  usr/share/metainfo/org.veloquin.Veloquin.metainfo.xml
  usr/share/man/man1/veloquin.1.gz usr/share/man/man1/veloquin-lite.1.gz
  usr/share/man/man1/veloquin-tool.1.gz
  usr/share/bash-completion/completions/veloquin-tool
  usr/share/doc/veloquin/README.Debian usr/share/doc/veloquin/copyright
  usr/share/doc/veloquin/changelog.gz
)
for f in "${expected[@]}"; do
  [ -f "$root/$f" ] || fail "$f missing from the package"
done
for size in 48 128 256; do
  file "$share/icons/hicolor/${size}x${size}/apps/veloquin.png" | grep -q "$size x $size" ||
    fail "the ${size}x${size} icon is not $size pixels square"
done
dpkg-deb -f "$deb" Depends | grep -q libqt6widgets6 || fail "Depends lacks the Qt libraries"
appstreamcli validate --no-net "$share/metainfo/org.veloquin.Veloquin.metainfo.xml" >/dev/null ||
  fail "appstreamcli validate failed"
desktop-file-validate "$share"/applications/*.desktop || fail "desktop entries do not validate"
echo "test-package: lintian"
lintian --fail-on error "$deb" ||
  fail "lintian reports errors"

# Every command of the tool's help is in its man page and its completion.
tool_help=$("$root/usr/bin/veloquin-tool" --help)
commands=(devsim)
while read -r match; do
  match=${match#|}
  match=${match# }
  prefix=${match% *}
  IFS='|' read -ra names <<<"${match##* }"
  for name in "${names[@]}"; do commands+=("$prefix $name"); done
done < <(grep -oE '(^ +|\| )(cal op|cal|device|log) [a-z|-]+' <<<"$tool_help" | sed 's/^ *//')
[ ${#commands[@]} -ge 19 ] || fail "read only ${#commands[@]} commands from veloquin-tool --help"
man_text=$(zcat "$share/man/man1/veloquin-tool.1.gz" | sed -e 's/\\f[BIRP]//g' -e 's/\\//g' -e 's/"//g')
completion=$share/bash-completion/completions/veloquin-tool
for command in "${commands[@]}"; do
  grep -qF "$command" <<<"$man_text" || fail "man veloquin-tool does not list '$command'"
  read -ra words <<<"$command"
  offered=$(bash -c 'source "$1"; shift; COMP_WORDS=(veloquin-tool "$@"); COMP_CWORD=$#
    _veloquin_tool; printf "%s\n" "${COMPREPLY[@]}"' _ "$completion" "${words[@]:0:${#words[@]}-1}" "")
  grep -qx "${words[-1]}" <<<"$offered" || fail "bash completion does not offer '$command'"
done

# A first start with nothing anywhere: a fresh HOME, an empty current folder.
home=$work/home
cwd=$work/cwd
shots=$work/shots
data=$home/.local/share/veloquin
mkdir -p "$home" "$cwd" "$work/runtime"
chmod 700 "$work/runtime"
run() {
  (cd "$cwd" && env -i PATH=/usr/bin:/bin HOME="$home" LANG=C.UTF-8 QT_QPA_PLATFORM=offscreen \
    XDG_RUNTIME_DIR="$work/runtime" timeout 60 "$@")
}
touch "$work/before"
echo "test-package: the unpacked programs"
run "$root/usr/bin/veloquin" --version | grep -qx "veloquin $version" || fail "veloquin --version"
run "$root/usr/bin/veloquin-tool" --help >/dev/null || fail "veloquin-tool --help"
help=$(run "$root/usr/bin/veloquin" --help)
grep -qF "default.cfg and workmap.cfg in $data/" <<<"$help" ||
  fail "veloquin --help does not name $data/: $help"
grep -qxF "    $share/veloquin/default.cfg" <<<"$help" ||
  fail "veloquin --help does not name the factory calibration: $help"
run "$root/usr/bin/veloquin" --screenshots "$shots" || fail "veloquin --screenshots failed"
for page in 01-parameters 02-maf-emulation 12-dash-board; do
  [ -s "$shots/$page.png" ] || fail "no screenshot $page.png"
done

# Only the data folder (with the folders leading to it) and the screenshots
# are new; the unpacked root and the current folder are as they were.
written=$(find "$work" -newer "$work/before" \
  ! -path "$work" ! -path "$home" ! -path "$home/.local" ! -path "$home/.local/share" \
  ! -path "$data" ! -path "$data/*" ! -path "$shots" ! -path "$shots/*" ! -path "$work/runtime*")
[ -z "$written" ] || fail "written outside $data and $shots: $written"
for folder in maps settings logs firmware; do
  [ -d "$data/$folder" ] || fail "$data/$folder was not made"
done
grep -q "^MAP_BAR_LO:-70" "$data/workmap.cfg" && grep -q "^MAP_BAR_HI:190" "$data/workmap.cfg" ||
  fail "the first start did not read the factory calibration"

if [ -n "${VELOQUIN_FIRST_START_SHOTS:-}" ]; then
  cp "$shots/01-parameters.png" "$VELOQUIN_FIRST_START_SHOTS/first-start-parameters.png"
  cp "$shots/02-maf-emulation.png" "$VELOQUIN_FIRST_START_SHOTS/first-start-maf-emulation.png"
fi
echo "test-package: $(basename "$deb") passed"
