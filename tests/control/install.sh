#!/usr/bin/env bash
# `make install` through CMake's install step into a scratch prefix: the executable and its
# configuration together in lib/veltrix, a link in bin, the manual page; the installed system
# finds the vxconfig.sys beside its executable through the link; installing again keeps the
# user's vxconfig.sys and refreshes the sample.
# Usage: install.sh BUILD-DIRECTORY
set -uo pipefail
build=$1
prefix=$(mktemp -d)
trap 'rm -rf "$prefix"' EXIT
fail=0
check() {  # check WHAT EXPECTED GOT
  if [ "$2" != "$3" ]; then echo "$1: expected [$2], got [$3]"; fail=1; fi
}

cmake --install "$build" --prefix "$prefix" > /dev/null || { echo "install failed"; exit 1; }
for f in lib/veltrix/veltrix lib/veltrix/vxconfig.sys lib/veltrix/vxconfig.sys.sample \
         share/man/man1/veltrix.1; do
  [ -f "$prefix/$f" ] || { echo "missing: $f"; fail=1; }
done
[ -L "$prefix/bin/veltrix" ] || { echo "bin/veltrix is not a link"; fail=1; }
check "the sample is the configuration" "" "$(cmp "$prefix/lib/veltrix/vxconfig.sys" \
                                               "$prefix/lib/veltrix/vxconfig.sys.sample")"

# The user's configuration, found beside the executable.
printf 'SETENV GREETING hello\n' > "$prefix/lib/veltrix/vxconfig.sys"
cd "$prefix" || exit 2
check "configuration used" "hello" "$(printf 'PRINT ENV$("GREETING")\n' | bin/veltrix 2>&1)"

cmake --install "$build" --prefix "$prefix" > /dev/null || { echo "second install failed"; exit 1; }
check "configuration kept" "SETENV GREETING hello" "$(cat "$prefix/lib/veltrix/vxconfig.sys")"
exit $fail
