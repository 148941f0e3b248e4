#!/usr/bin/env bash
# Installs the Debian packages that building (and, with --test, testing) needs, asking apt only for
# what is missing.
# Usage: scripts/deps.sh [--test] [extra-package ...]   (the benchmarks pass their peers as extras)
set -euo pipefail

# Building and running: the compiler, Debian's wxWidgets source package unpacked by dpkg-source
# (scripts/wxbase.sh), the terminal library, cairo for native printing with its fonts, lp for
# spooling, the JSON library of the language server, Debian's wxGTK for the window front end.
packages=(cmake g++ make pkg-config xz-utils dpkg-dev libncurses-dev
          libcairo2-dev fonts-dejavu-core cups-client nlohmann-json3-dev libwxgtk3.2-dev)
if [ "${1:-}" = "--test" ]; then
  shift
  testing=yes
  # Testing: GoogleTest, the benchmark library, tmux for the terminal tests, clang with its
  # sanitizer runtime for the fuzz targets, poppler-utils to read printed PDFs, util-linux's
  # setpriv to run a peer under another user, python3 for the layer check of the includes and the
  # scripted peers of the link tests; an X server of its own, xdotool to type, ImageMagick for
  # screenshots and tesseract to read them, for the window tests.
  packages+=(libgtest-dev libgmock-dev libbenchmark-dev tmux clang libclang-rt-14-dev clang-format
             poppler-utils util-linux python3 xvfb xauth xdotool imagemagick tesseract-ocr
             tesseract-ocr-eng)
fi
packages+=("$@")

# The grammar test's node packages (editors/vscode), from their lockfile, where npm is present
# (the test is skipped without them): installed again when the lockfile is newer.
if [ "${testing:-no}" = yes ] && command -v npm > /dev/null; then
  vscode=$(cd "$(dirname "$0")/../editors/vscode" && pwd)
  if [ ! -f "$vscode/node_modules/.package-lock.json" ] ||
     [ "$vscode/package-lock.json" -nt "$vscode/node_modules/.package-lock.json" ]; then
    echo "Installing the node packages of editors/vscode"
    (cd "$vscode" && npm ci --no-audit --no-fund --loglevel=error) ||
      echo "the node packages of editors/vscode could not be installed: the grammar test is skipped"
  fi
fi

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
