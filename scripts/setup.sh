#!/usr/bin/env bash
# Installs every Debian 12 package that building, running and testing Parlendo needs.
# Safe to run again: apt-get skips what is already installed.
set -euo pipefail

PACKAGES=(
  build-essential g++ cmake ninja-build ccache pkg-config git clang-format
  nlohmann-json3-dev libexpected-dev libicu-dev libssl-dev uuid-dev
  libcurl4-openssl-dev libglib2.0-dev libsecret-1-dev libgtk-3-dev
  libayatana-appindicator3-dev libwebkit2gtk-4.1-dev libegl-dev
  libx11-dev libxi-dev libxtst-dev libxfixes-dev libxres-dev libxcb1-dev libxrandr-dev
  libatspi2.0-dev at-spi2-core libpoppler-glib-dev libcairo2-dev
  libgtest-dev libgmock-dev googletest libbenchmark-dev libcpp-httplib-dev
  clang libclang-rt-dev lld
  python3 xvfb xauth x11-utils openbox dbus dbus-x11 gnome-keyring openssl ca-certificates fonts-noto-cjk
  qpdf poppler-utils evince
  firefox-esr chromium xterm xfce4-terminal alacritty mousepad libreoffice-writer
  python3-fonttools python3-brotli
)
# Node.js with npm vendors the pinned front-end packages and runs the manage page's script tests;
# the machine's own Node.js (which bundles npm) is used when present.
if ! command -v npm >/dev/null 2>&1; then PACKAGES+=(nodejs npm); fi

missing=()
for p in "${PACKAGES[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed"; then
    missing+=("$p")
  fi
done

if [ ${#missing[@]} -eq 0 ]; then
  echo "setup: all packages present"
  exit 0
fi

SUDO=""
if [ "$(id -u)" -ne 0 ]; then SUDO="sudo"; fi
echo "setup: installing ${missing[*]}"
export DEBIAN_FRONTEND=noninteractive
$SUDO apt-get update -qq
$SUDO apt-get install -y -qq --no-install-recommends "${missing[@]}"
