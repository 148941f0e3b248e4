#!/usr/bin/env bash
# Runs the link of the static executable and drops the C library's notes that name-service
# functions (getaddrinfo, gethostbyname, getpwnam, getpwuid) "require at runtime the shared
# libraries from the glibc version used for linking".  That holds and is intended: the
# executable loads the machine's own name-service modules (libnss_files, libnss_dns) when it
# looks up a host name (DEBUG CONNECT, DEBUG LISTEN with a name) or wxBase asks for a user's
# home; `make run` builds and runs on the same machine, so the versions match.  A copy moved to
# a machine with another C library still starts and works with dotted addresses.  Every other
# line of the linker's output, and its exit status, pass through unchanged.
# Usage (CMake's RULE_LAUNCH_LINK): scripts/link-static.sh LINK-COMMAND...
set -uo pipefail
out=$("$@" 2>&1)
status=$?
if [ -n "$out" ]; then
  printf '%s\n' "$out" | awk '
    /: in function .*:$/ { held = $0; next }
    /warning: Using .(getaddrinfo|gethostbyname|getpwnam|getpwuid). in statically linked applications/ {
      held = ""; next }
    { if (held != "") print held; held = ""; print }
    END { if (held != "") print held }' >&2
fi
exit $status
