#!/usr/bin/env bash
# Builds the non-GUI part of wxWidgets as a static library from Debian's own source package, so that
# the system links it into one self-contained executable (loading the shared wxBase library at every
# start costs more than the rest of start-up together).
# Usage: scripts/wxbase.sh PREFIX     installs PREFIX/bin/wx-config, PREFIX/lib, PREFIX/include
# The source archive is checked against Debian's signed release index before it is unpacked.
set -euo pipefail

prefix=$(realpath -m "$1")
package=wxwidgets3.2
# The stamp names the configuration, so that a change of options rebuilds the library.
stamp="$prefix/.built-2"
[ -f "$stamp" ] && [ -x "$prefix/bin/wx-config" ] && exit 0

mirror=${VX_DEBIAN_MIRROR:-http://deb.debian.org/debian}
suite=$(. /etc/os-release && echo "${VERSION_CODENAME:-bookworm}")
keyring=/usr/share/keyrings/debian-archive-keyring.gpg
work="$prefix.work"
rm -rf "$work" && mkdir -p "$work"
cd "$work"

fetch() { curl -fsS --retry 3 --retry-delay 2 -m 300 -o "$2" "$1"; }
sha256_of() { sha256sum "$1" | cut -d' ' -f1; }

echo "wxbase: reading the signed source index of $suite"
fetch "$mirror/dists/$suite/InRelease" InRelease
gpgv --quiet --keyring "$keyring" --output Release InRelease 2>/dev/null \
  || { echo "wxbase: the release index of $suite is not signed by a Debian archive key" >&2; exit 1; }
want=$(awk '/^SHA256:/{s=1;next} /^[A-Za-z]/{s=0} s && $3=="main/source/Sources.xz"{print $1}' Release)
[ -n "$want" ] || { echo "wxbase: no source index in the release file" >&2; exit 1; }
fetch "$mirror/dists/$suite/main/source/Sources.xz" Sources.xz
[ "$(sha256_of Sources.xz)" = "$want" ] || { echo "wxbase: source index checksum mismatch" >&2; exit 1; }

# The package's stanza: its directory in the pool and the orig tarball with its checksum.
xz -dc Sources.xz | awk -v pkg="$package" '
  /^Package: /{inpkg=($2==pkg)} inpkg && /^Directory: /{print "dir", $2}
  inpkg && /^Checksums-Sha256:/{s=1;next} inpkg && /^[A-Za-z]/{s=0}
  inpkg && s && $3 ~ /\.orig\.tar\.xz$/{print "tar", $1, $3}
  /^$/{inpkg=0;s=0}' > stanza
dir=$(awk '$1=="dir"{print $2; exit}' stanza)
read -r _ tarsum tarname < <(grep '^tar ' stanza | tail -n 1)
[ -n "$dir" ] && [ -n "$tarname" ] || { echo "wxbase: $package not found in the source index" >&2; exit 1; }

cache="$prefix.cache/$tarname"
mkdir -p "$(dirname "$cache")"
if [ ! -f "$cache" ] || [ "$(sha256_of "$cache")" != "$tarsum" ]; then
  echo "wxbase: downloading $tarname"
  fetch "$mirror/$dir/$tarname" "$cache.part"
  [ "$(sha256_of "$cache.part")" = "$tarsum" ] || { echo "wxbase: $tarname checksum mismatch" >&2; exit 1; }
  mv "$cache.part" "$cache"
fi

tar xf "$cache"
src=$(find . -maxdepth 1 -type d -name 'wxWidgets-*' | head -n 1)
mkdir -p obj && cd obj
echo "wxbase: configuring"
"../$src/configure" --prefix="$prefix" --disable-gui --disable-shared --enable-unicode \
  --without-regex --without-zlib --without-expat --without-liblzma --without-libcurl \
  --disable-fswatcher --disable-sockets --disable-ipc --disable-webrequest \
  --disable-secretstore --disable-intl --disable-mediactrl --disable-tests \
  --disable-std_iostreams --disable-xlocale \
  CFLAGS=-O2 CXXFLAGS=-O2 > configure.log 2>&1 || { tail -n 30 configure.log >&2; exit 1; }
echo "wxbase: building (about a minute)"
make -j"$(nproc)" > make.log 2>&1 || { tail -n 30 make.log >&2; exit 1; }
make install > install.log 2>&1 || { tail -n 30 install.log >&2; exit 1; }
cd / && rm -rf "$work"
touch "$stamp"
echo "wxbase: installed in $prefix"
