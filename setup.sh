#!/usr/bin/env bash
# Installs the Debian packages Keyvora needs to build, run and test, only when missing.
set -euo pipefail
packages=(
  build-essential cmake pkg-config clang-format
  qt6-base-dev qt6-base-dev-tools libgl-dev
  libsqlcipher-dev sqlcipher libssl-dev
  libjpeg-dev
  fonts-arphic-ukai fonts-wqy-zenhei
  xvfb xauth xdotool imagemagick x11-utils
)
missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
done
if [ ${#missing[@]} -gt 0 ]; then
  sudo_cmd=()
  [ "$(id -u)" -eq 0 ] || sudo_cmd=(sudo)
  export DEBIAN_FRONTEND=noninteractive
  "${sudo_cmd[@]}" apt-get update -qq
  "${sudo_cmd[@]}" apt-get install -y -qq --no-install-recommends "${missing[@]}"
fi
