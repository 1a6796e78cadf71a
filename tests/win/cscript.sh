#!/usr/bin/env bash
# Registers PARVEX.OCX, runs the page script of upload_control.js through
# cscript, then unregisters the module again.
set -u
BUILD=${1:?usage: cscript.sh <build/win dir>}
HERE=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
OCX=$(winepath -w "$BUILD/PARVEX.OCX")
SCRIPT=$(winepath -w "$HERE/upload_control.js")
status=0

wine regsvr32 /s "$OCX" || { echo "registration failed"; exit 1; }
if ! timeout 120 wine cscript //nologo "$SCRIPT"; then
    echo "upload_control.js failed"
    status=1
fi
wine regsvr32 /u /s "$OCX" || { echo "unregistration failed"; status=1; }
exit $status
