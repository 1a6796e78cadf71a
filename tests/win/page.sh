#!/usr/bin/env bash
# Runs the page scripts of tests/page in parvex-page.exe with PARVEX.OCX
# registered: each page checks itself and exits 0 when all its checks hold.
# Also the program's own answers to a broken script and a bad command line.
set -u
BUILD=${1:?usage: page.sh <build/win dir>}
HERE=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
PAGES="$HERE/../page"
SCREENS=$(cd "$BUILD/.." && pwd)/screens
PAGE_EXE="$BUILD/parvex-page.exe"
OCX=$(winepath -w "$BUILD/PARVEX.OCX")
WORK=$(mktemp -d "${TMPDIR:-/tmp}/parvex-page.XXXXXX")
failures=0

fail() { echo "FAIL: $*"; failures=$((failures + 1)); }
cleanup() { wine regsvr32 /u /s "$OCX" >/dev/null 2>&1; rm -rf "$WORK"; }
trap cleanup EXIT

# The files the pages drop and choose: 1000, 3000 and 500 bytes, 2 MiB, and
# a folder of three files of 100, 200 and 300 bytes.
mkdir -p "$WORK/files/docs" "$SCREENS"
head -c 1000 /dev/zero >"$WORK/files/a.txt"
head -c 3000 /dev/zero >"$WORK/files/b.txt"
head -c 500 /dev/zero >"$WORK/files/c.txt"
head -c 2097152 /dev/zero >"$WORK/files/big.bin"
head -c 100 /dev/zero >"$WORK/files/docs/one.txt"
head -c 200 /dev/zero >"$WORK/files/docs/two.txt"
head -c 300 /dev/zero >"$WORK/files/docs/three.txt"
FILES_W=$(winepath -w "$WORK/files")
SCREENS_W=$(winepath -w "$SCREENS")

# A Windows path as a sed replacement that yields a JScript string's text.
for_sed() { printf '%s' "$1" | sed 's/\\/\\\\\\\\/g'; }

# One page: the shared part, then the page, with the folders filled in.
# run_page NAME EXPECTED-EXIT [OPTIONS...]
run_page() {
    local name=$1 want=$2; shift 2
    local page="$WORK/$name.js" code
    { cat "$PAGES/common.js"; cat "$PAGES/$name.js"; } |
        sed -e "s|@FILES@|$(for_sed "$FILES_W")|" -e "s|@SCREENS@|$(for_sed "$SCREENS_W")|" >"$page"
    timeout 120 wine "$PAGE_EXE" "$@" "$(winepath -w "$page")" >"$WORK/$name.out" 2>"$WORK/$name.err"
    code=$?
    cat "$WORK/$name.out"
    if [ "$code" != "$want" ]; then
        fail "$name ${*:-} exited $code, not $want"
        sed 's/^/    /' "$WORK/$name.err"
    fi
}

wine regsvr32 /s "$OCX" || { echo "registration failed"; exit 1; }

run_page update_size 0
run_page no_browser 0 --no-browser
run_page broken_document 0 --broken-document
run_page two_budget 0

# A script error names its line and ends the page with 3, also in a timer.
printf 'page.log("before");\nvar broken = ;\n' >"$WORK/syntax.js"
timeout 60 wine "$PAGE_EXE" "$(winepath -w "$WORK/syntax.js")" >"$WORK/syntax.out" 2>"$WORK/syntax.err"
code=$?
[ "$code" = 3 ] || fail "a syntax error exited $code, not 3"
grep -q 'line 2' "$WORK/syntax.err" || fail "a syntax error does not name line 2: $(cat "$WORK/syntax.err")"
printf '\xEF\xBB\xBFpage.setTimeout(function () {\n    page.noSuchMethod();\n}, 10);\n' >"$WORK/timer.js"
timeout 60 wine "$PAGE_EXE" "$(winepath -w "$WORK/timer.js")" >/dev/null 2>"$WORK/timer.err"
code=$?
[ "$code" = 3 ] || fail "an error in a timer exited $code, not 3: $(cat "$WORK/timer.err")"

# A bad command line or a missing page is refused with 2.
timeout 60 wine "$PAGE_EXE" --what "$(winepath -w "$WORK/syntax.js")" >/dev/null 2>&1
code=$?
[ "$code" = 2 ] || fail "an unknown option exited $code, not 2"
timeout 60 wine "$PAGE_EXE" 'C:\no\such\page.js' >/dev/null 2>&1
code=$?
[ "$code" = 2 ] || fail "a missing page exited $code, not 2"

# Every screenshot is a picture of the page's size.
for shot in list-empty list-rows list-two-budget; do
    size=$(identify -format '%wx%h' "$SCREENS/$shot.png" 2>/dev/null)
    [ "$size" = 800x600 ] || fail "$shot.png is not an 800x600 picture (${size:-unreadable})"
done

if [ "$failures" -gt 0 ]; then
    echo "$failures page check(s) failed"
    exit 1
fi
echo "page checks passed"
