#!/usr/bin/env bash
# Installs what building, running and testing need on a Debian 12 machine.
# Does nothing when everything is there; uses sudo when not root.
set -euo pipefail

packages=(
  build-essential cmake ninja-build git
  clang libclang-rt-14-dev clang-format clang-tidy
  libgtest-dev libgmock-dev googletest libbenchmark-dev
  qt6-base-dev qt6-base-dev-tools qt6-multimedia-dev libgl-dev
  fonts-liberation xvfb xauth xdotool imagemagick
  dpkg-dev file lintian appstream librsvg2-bin desktop-file-utils
)

missing=()
for p in "${packages[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed'; then
    missing+=("$p")
  fi
done

if [ ${#missing[@]} -eq 0 ]; then
  exit 0
fi

echo "Installing: ${missing[*]}" >&2
if [ "$(id -u)" -eq 0 ]; then
  sudo=()
else
  sudo=(sudo)
fi
export DEBIAN_FRONTEND=noninteractive
"${sudo[@]}" apt-get update -qq
"${sudo[@]}" apt-get install -y -qq --no-install-recommends "${missing[@]}"
