#!/usr/bin/env bash
# Prints one line for every test the last ctest run skipped, with the reason the test
# gave. GoogleTest writes the reason under "Skipped" in the test's output, which ctest
# keeps in its log but shows only with -V; `make test` calls this after ctest.
# Usage: scripts/skip-reasons.sh BUILD/Testing/Temporary/LastTest.log
set -euo pipefail
log="${1:?usage: skip-reasons.sh LastTest.log}"
[ -f "$log" ] || exit 0
awk '
/^\[ RUN      \] / { test = $4; reason = ""; in_reason = 0; next }
/: Skipped$/ && test != "" { in_reason = 1; next }
/^\[  SKIPPED \] / && test != "" && $4 == test {
    if (!header) { print "Skipped tests and why:"; header = 1 }
    print "\t" test ": " (reason == "" ? "(the test gave no reason)" : reason)
    test = ""; in_reason = 0; next
}
/^\[/ { in_reason = 0 }
in_reason {
    line = $0; gsub(/^[ \t]+|[ \t]+$/, "", line)
    if (line != "") reason = (reason == "" ? line : reason " " line)
}
' "$log"
