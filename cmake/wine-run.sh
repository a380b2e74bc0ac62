#!/usr/bin/env bash
# Runs a command under Wine: wine-run.sh WINE PROGRAM [ARGUMENTS...].
#
# Now and then Wine's server drops a process as it connects, before any of
# its code runs, with "wine client error" on standard error: in about one run
# in four of a test suite whose programs come and go two at a time. Such a
# start is tried again, at most twice; any other failure is the program's own
# and is passed on as it is.
set -u
log=$(mktemp)
trap 'rm -f "$log"' EXIT
for attempt in 1 2 3; do
    # Standard error through tee, standard output as it is.
    { "$@" 2>&1 1>&3 3>&- | tee "$log" >&2; } 3>&1
    code=${PIPESTATUS[0]}
    if [ "$code" -eq 0 ] || ! grep -q '^wine client error' "$log"; then
        exit "$code"
    fi
    echo "wine-run.sh: Wine dropped the program as it started (try $attempt of 3)" >&2
done
exit "$code"
