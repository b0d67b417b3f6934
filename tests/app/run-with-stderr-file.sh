#!/bin/sh
# Runs a test program (the emulator and its arguments follow) with its standard error in a
# file whose path it finds in PINEWICK_STDERR_FILE, then passes the file on to the real
# standard error. Wine starts a child process with the standard input and output that
# CreateProcessW names, but always with its parent's Unix standard error, which is where
# Wine's debug channels print: a test reads a child's channels from this file.
file=$(mktemp "${TMPDIR:-/tmp}/pinewick-stderr.XXXXXX") || exit 1
PINEWICK_STDERR_FILE=$file "$@" 2>"$file"
status=$?
cat "$file" >&2
rm -f "$file"
exit $status
