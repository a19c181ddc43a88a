#!/usr/bin/env bash
# Installs what the build and the tests need on Debian 12. Safe to run again:
# packages already present are left alone and apt is not touched at all.
set -euo pipefail

packages=(
  build-essential cmake pkg-config
  qt6-base-dev qt6-base-dev-tools libqt6sql6-sqlite libqt6sql6-psql qt6-qpa-plugins
  libgl-dev libgtest-dev libsqlite3-dev libpq-dev
  postgresql postgresql-client-15
  clang libclang-rt-14-dev llvm
  xvfb xauth poppler-utils fonts-dejavu-core
  ccache
  dpkg-dev desktop-file-utils systemd bash-completion
)

missing=()
for p in "${packages[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed'; then
    missing+=("$p")
  fi
done

if [ ${#missing[@]} -gt 0 ]; then
  if [ "$(id -u)" -ne 0 ]; then
    echo "setup: missing packages: ${missing[*]} (run as root to install them)" >&2
    exit 1
  fi
  export DEBIAN_FRONTEND=noninteractive
  apt-get update -qq
  apt-get install -y -qq --no-install-recommends "${missing[@]}"
fi
