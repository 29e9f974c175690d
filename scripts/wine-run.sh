#!/usr/bin/env bash
# Runs a Windows program under Wine for ctest (the cross build's emulator).
# Now and then Wine fails to start a program at all: it ends at once with
# no output. The test programs print from their first moment (their
# standard output is unbuffered), so a failure without a byte of output is
# Wine's, not the test's, and the program is started once more, saying so.
set -u
out=$(mktemp) err=$(mktemp)
trap 'rm -f "$out" "$err"' EXIT
for attempt in 1 2; do
    wine "$@" >"$out" 2>"$err"
    rc=$?
    cat "$out"
    cat "$err" >&2
    if [[ $rc -eq 0 || -s $out || -s $err || $attempt -eq 2 ]]; then exit "$rc"; fi
    echo "wine-run: $1 ended with exit code $rc before printing anything; Wine did not start it, starting it again" >&2
done
