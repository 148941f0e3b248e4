#!/usr/bin/env bash
# Installs the Debian packages that building and testing need, asking apt only for what is missing.
# Usage: scripts/deps.sh [extra-package ...]   (the benchmarks pass their peers as extras)
set -euo pipefail

packages=(cmake g++ make pkg-config xz-utils curl ca-certificates gpgv debian-archive-keyring
          libgtest-dev libgmock-dev libbenchmark-dev libwxgtk3.2-dev libncurses-dev tmux
          clang libclang-rt-14-dev clang-format
          libcairo2-dev fonts-dejavu-core poppler-utils cups-client "$@")

missing=()
for p in "${packages[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed'; then
    missing+=("$p")
  fi
done
[ ${#missing[@]} -eq 0 ] && exit 0

sudo=""
[ "$(id -u)" -ne 0 ] && sudo="sudo"
echo "Installing: ${missing[*]}"
$sudo apt-get update -qq
DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq --no-install-recommends "${missing[@]}"
