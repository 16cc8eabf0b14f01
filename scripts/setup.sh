#!/usr/bin/env bash
# Installs what building and testing Mirelo needs on Debian 12, skipping what is already there.
set -euo pipefail

packages=(
  build-essential cmake pkg-config
  qt6-base-dev qt6-base-dev-tools qt6-qpa-plugins qt6-translations-l10n libgl-dev
  qt6-svg-dev qt6-l10n-tools qt6-tools-dev
  libgtest-dev libgmock-dev libbenchmark-dev
  libcli11-dev nlohmann-json3-dev
  fonts-ipaexfont-gothic fonts-liberation
  libxrl-dev
  libdcmtk-dev zlib1g-dev libtomlplusplus-dev libsqlite3-dev
)
if [[ "${1:-}" == "--test" ]]; then
  # The end-to-end run, the fuzzers and the package checks need a little more.
  packages+=(clang libclang-rt-14-dev xvfb xauth python3 python3-pyatspi at-spi2-core dbus dbus-x11 x11-utils
             imagemagick desktop-file-utils appstream dpkg-dev file poppler-utils groff-base dcmtk time)
fi

missing=()
for p in "${packages[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed"; then
    missing+=("$p")
  fi
done
if ((${#missing[@]})); then
  sudo=""
  if [[ $(id -u) -ne 0 ]]; then sudo="sudo"; fi
  echo "Installing: ${missing[*]}"
  $sudo apt-get update -qq
  DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
fi
