#!/usr/bin/env bash
# Builds the non-GUI part of wxWidgets as a static library from Debian's own source package, so that
# the system links it into one self-contained executable (loading the shared wxBase library at every
# start costs more than the rest of start-up together).  The graphical window needs Debian's
# shared wxGTK libraries, which cannot join a static executable: it is to be linked as an
# executable of its own against Debian's packages (libwxgtk3.2-dev), so that the terminal and
# stream front ends keep this start-up.
# Usage: scripts/wxbase.sh PREFIX     installs PREFIX/bin/wx-config, PREFIX/lib, PREFIX/include
#
# The source comes through apt, as this machine is configured (its mirrors, its proxy, its keys):
# the machine's own `deb` entries are repeated as `deb-src` entries in a private source list, apt
# reads their signed index into a private list directory (the machine's own lists are not
# touched), and `apt-get source` fetches the package, checking every file against that index.
set -euo pipefail

prefix=$(realpath -m "$1")
package=wxwidgets3.2
# The stamp names the configuration, so that a change of options rebuilds the library.
stamp="$prefix/.built-3"
[ -f "$stamp" ] && [ -x "$prefix/bin/wx-config" ] && exit 0

sudo=""
[ "$(id -u)" -ne 0 ] && sudo="sudo"
work="$prefix.work"
rm -rf "$work" && mkdir -p "$work/sources.list.d" "$work/lists/partial"
cd "$work"

# deb822 files: every stanza that names type deb becomes a deb-src stanza of the same archive.
# One-line files: each `deb` line is repeated as `deb-src`.  Disabled files (other suffixes) are
# left out, as apt leaves them out.
shopt -s nullglob
for f in /etc/apt/sources.list.d/*.sources; do
  sed -E 's/^Types:(.*[[:space:]])?deb([[:space:]].*)?$/Types: deb-src/' \
    "$f" > "sources.list.d/$(basename "$f")"
done
for f in /etc/apt/sources.list /etc/apt/sources.list.d/*.list; do
  [ -f "$f" ] || continue
  sed -nE 's/^[[:space:]]*deb([[:space:]])/deb-src\1/p' "$f" > "sources.list.d/$(basename "$f").list"
done
apt_opts=(-o Dir::Etc::SourceList=/dev/null -o "Dir::Etc::SourceParts=$work/sources.list.d"
          -o "Dir::State::Lists=$work/lists")

echo "wxbase: reading the source index of this machine's package sources"
$sudo apt-get "${apt_opts[@]}" update -qq > update.log 2>&1 \
  || { tail -n 20 update.log >&2; echo "wxbase: apt could not read the source index" >&2; exit 1; }
mkdir -p src && cd src
echo "wxbase: fetching Debian's $package source package"
$sudo apt-get "${apt_opts[@]}" source --download-only -qq "$package" > ../source.log 2>&1 \
  || { tail -n 20 ../source.log >&2; echo "wxbase: apt-get source $package failed" >&2; exit 1; }
dsc=$(ls ./*.dsc | head -n 1)
# dpkg-source unpacks the upstream archive and applies Debian's patches; the files were checked
# by apt against the signed index, so the signature of the .dsc itself adds nothing here.
dpkg-source --no-check -x "$dsc" tree > ../unpack.log 2>&1 \
  || { tail -n 20 ../unpack.log >&2; exit 1; }

mkdir -p ../obj && cd ../obj
echo "wxbase: configuring"
../src/tree/configure --prefix="$prefix" --disable-gui --disable-shared --enable-unicode \
  --without-regex --without-zlib --without-expat --without-liblzma --without-libcurl \
  --disable-fswatcher --disable-sockets --disable-ipc --disable-webrequest \
  --disable-secretstore --disable-intl --disable-mediactrl --disable-tests \
  --disable-std_iostreams --disable-xlocale \
  CFLAGS=-O2 CXXFLAGS=-O2 > configure.log 2>&1 || { tail -n 30 configure.log >&2; exit 1; }
echo "wxbase: building (about a minute)"
make -j"$(nproc)" > make.log 2>&1 || { tail -n 30 make.log >&2; exit 1; }
make install > install.log 2>&1 || { tail -n 30 install.log >&2; exit 1; }
cd / && $sudo rm -rf "$work"
touch "$stamp"
echo "wxbase: installed in $prefix"
