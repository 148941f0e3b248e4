#!/usr/bin/env bash
# `make install` through CMake's install step into a scratch prefix: the executable, its help
# file and its configuration together in lib/veltrix, a link in bin, the manual page; the
# installed system finds the vxconfig.sys and the ktcmd.kth beside its executable through the
# link; installing again keeps the user's vxconfig.sys and refreshes the sample.
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
for f in lib/veltrix/veltrix lib/veltrix/ktcmd.kth lib/veltrix/vxconfig.sys \
         lib/veltrix/vxconfig.sys.sample share/man/man1/veltrix.1; do
  [ -f "$prefix/$f" ] || { echo "missing: $f"; fail=1; }
done
[ -L "$prefix/bin/veltrix" ] || { echo "bin/veltrix is not a link"; fail=1; }
# The user's documents.
for f in README.md getting-started.md commands.md language.md; do
  [ -f "$prefix/share/doc/veltrix/$f" ] || { echo "missing: share/doc/veltrix/$f"; fail=1; }
done

# --help and --version: text on standard output, status 0, and nothing started (no registry
# file in the current directory); another "--" word is refused with status 2.
mkdir "$prefix/empty" && cd "$prefix/empty" || exit 2
usage=$("$prefix/bin/veltrix" --help 2> "$prefix/err"); status=$?
check "--help status" "0" "$status"
check "--help first line" "Usage: veltrix [switches] [command ...]" "$(head -n 1 <<< "$usage")"
check "--help names --version" "1" "$(grep -c -- '--version' <<< "$usage")"
check "--help names the documents" "1" "$(grep -c 'share/doc/veltrix' <<< "$usage")"
check "--help lines fit 80 columns" "" "$(awk 'length > 80' <<< "$usage")"
check "--help standard error" "" "$(cat "$prefix/err")"
version=$("$prefix/bin/veltrix" -7 --version RUN PAY); status=$?
check "--version status" "0" "$status"
"$prefix/bin/veltrix" --config=x < /dev/null > "$prefix/out" 2> "$prefix/err"; status=$?
check "unknown option status" "2" "$status"
check "unknown option message" \
  "veltrix: unknown option --config=x (veltrix --help lists the command line)" "$(cat "$prefix/err")"
check "nothing started in the directory" "" "$(ls -A)"
cd "$prefix" || exit 2
check "--version text" "$(bin/veltrix <<< 'PRINT "Veltrix! "&KTVERSION$')" "$version"

check "the sample is the configuration" "" "$(cmp "$prefix/lib/veltrix/vxconfig.sys" \
                                               "$prefix/lib/veltrix/vxconfig.sys.sample")"

# The user's configuration, found beside the executable.
printf 'SETENV GREETING hello\n' > "$prefix/lib/veltrix/vxconfig.sys"
cd "$prefix" || exit 2
check "configuration used" "hello" "$(printf 'PRINT ENV$("GREETING")\n' | bin/veltrix 2>&1)"

# The help file, found beside the executable through the link.
check "help found" "LIST - command" "$(printf 'HELP LIST\n' | bin/veltrix 2>&1 | head -1)"
check "help file as built" "" "$(cmp "$prefix/lib/veltrix/ktcmd.kth" "$build/ktcmd.kth")"

cmake --install "$build" --prefix "$prefix" > /dev/null || { echo "second install failed"; exit 1; }
check "configuration kept" "SETENV GREETING hello" "$(cat "$prefix/lib/veltrix/vxconfig.sys")"
exit $fail
