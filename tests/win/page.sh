#!/usr/bin/env bash
# Runs the page scripts of tests/page in parvex-page.exe with PARVEX.OCX
# registered: each page checks itself and exits 0 when all its checks hold.
# The upload pages send to a reference mail server of their own, started
# and stopped here; what it stored is compared here byte for byte. Also the
# program's own answers to a broken script and a bad command line.
set -u
BUILD=${1:?usage: page.sh <build/win dir>}
HERE=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
PAGES="$HERE/../page"
source "$HERE/../../tools/mailserver/launch.sh"
SCREENS=$(cd "$BUILD/.." && pwd)/screens
PAGE_EXE="$BUILD/parvex-page.exe"
OCX=$(winepath -w "$BUILD/PARVEX.OCX")
WORK=$(mktemp -d "${TMPDIR:-/tmp}/parvex-page.XXXXXX")
failures=0

fail() { echo "FAIL: $*"; failures=$((failures + 1)); }
SERVER_PID=""
PORT=""
TLS_PIDS=""
source "$HERE/lib/test_ca.sh"
stop_tls_servers() {
    local pid
    for pid in $TLS_PIDS; do kill "$pid" 2>/dev/null && wait "$pid" 2>/dev/null; done
    TLS_PIDS=""
}
cleanup() {
    untrust_test_ca
    stop_tls_servers
    wine regsvr32 /u /s "$OCX" >/dev/null 2>&1
    [ -n "$SERVER_PID" ] && kill "$SERVER_PID" 2>/dev/null && wait "$SERVER_PID" 2>/dev/null
    [ -n "${RESUME_PID:-}" ] && kill "$RESUME_PID" 2>/dev/null && wait "$RESUME_PID" 2>/dev/null
    rm -rf "$WORK"
}
trap cleanup EXIT

# The files the pages drop and choose: 1000, 3000 and 500 bytes, 2 MiB, a
# folder of three files of 100, 200 and 300 bytes, one of five, one of ten
# thousand (f0 to f9999, f<i> of i % 1000 + 1 bytes), and one of a file with a
# long name (700 bytes) and another (300).
mkdir -p "$WORK/files/docs" "$WORK/files/five" "$SCREENS"
for i in 1 2 3 4 5; do head -c $((i * 10)) /dev/zero >"$WORK/files/five/f$i.bin"; done
head -c 1000 /dev/zero >"$WORK/files/a.txt"
head -c 3000 /dev/zero >"$WORK/files/b.txt"
head -c 500 /dev/zero >"$WORK/files/c.txt"
head -c 2097152 /dev/zero >"$WORK/files/big.bin"
head -c 100 /dev/zero >"$WORK/files/docs/one.txt"
head -c 200 /dev/zero >"$WORK/files/docs/two.txt"
head -c 300 /dev/zero >"$WORK/files/docs/three.txt"
mkdir -p "$WORK/files/many" "$WORK/files/names"
head -c 700 /dev/zero >"$WORK/files/names/Long Report Name.txt"
head -c 300 /dev/zero >"$WORK/files/names/other.txt"
# DELETE_ROWS files (a multiple of 1000) for the page that deletes them at
# once: 2000 in the suite; DELETE_ROWS=10000 gives the figure for ten thousand.
DELETE_ROWS=${DELETE_ROWS:-2000}
for i in $(seq 0 $((DELETE_ROWS - 1))); do printf '%*s' $((i % 1000 + 1)) '' >"$WORK/files/many/f$i.txt"; done
FILES_W=$(winepath -w "$WORK/files")
SCREENS_W=$(winepath -w "$SCREENS")

# A Windows path as a sed replacement that yields a JScript string's text.
for_sed() { printf '%s' "$1" | sed 's/\\/\\\\\\\\/g'; }

# One page: the resource ids, the shared part, then the page, with the
# folders filled in.
# run_page NAME EXPECTED-EXIT [OPTIONS...]; PAGE_TIMEOUT seconds (120).
run_page() {
    local name=$1 want=$2; shift 2
    local page="$WORK/$name.js" code
    { cat "$PAGES/ids.js" "$PAGES/common.js" "$PAGES/$name.js"; } |
        sed -e "s|@FILES@|$(for_sed "$FILES_W")|" -e "s|@SCREENS@|$(for_sed "$SCREENS_W")|" \
            -e "s|@SAVE@|$(for_sed "$(winepath -w "${SAVE:-$WORK}")")|" -e "s|@ROWS@|$DELETE_ROWS|" -e "s|@PORT@|$PORT|" -e "s|@TLSPORT@|${TLS_PORT:-}|" -e "s|@BADSERVERS@|${BAD_SERVERS:-}|" \
            -e "s|@PAGEURL@|${PAGE_URL:-}|" -e "s|@ALLOWED@|${ALLOWED:-}|" >"$page"
    timeout "${PAGE_TIMEOUT:-120}" wine "$PAGE_EXE" "$@" "$(winepath -w "$page")" >"$WORK/$name.out" 2>"$WORK/$name.err"
    code=$?
    cat "$WORK/$name.out"
    if [ "$code" != "$want" ]; then
        fail "$name ${*:-} exited $code, not $want"
        sed 's/^/    /' "$WORK/$name.err"
    fi
}

bash "$PAGES/make_ids.sh" || { echo "tests/page/ids.js could not be made"; exit 1; }
wine regsvr32 /s "$OCX" || { echo "registration failed"; exit 1; }

# The reference mail server on a free loopback port: uploads are stored in
# STORE, downloads are served from SERVE.
STORE="$WORK/store"
SERVE="$WORK/serve"
start_server() {
    mkdir -p "$SERVE"
    head -c 400000 /dev/urandom >"$SERVE/a.bin"
    head -c 400000 /dev/urandom >"$SERVE/b.bin"
    head -c 400000 /dev/urandom >"$SERVE/c.bin"
    head -c 20000 /dev/urandom >"$SERVE/d.bin"
    head -c 3000 /dev/urandom >"$SERVE/보고서 1.txt"
    : >"$SERVE/empty.txt"
    launch_mailserver "$BUILD/../native/parvex-mailserver" "$STORE" "$SERVE" --listen 127.0.0.1 --listen ::1
    SERVER_PID=$LAUNCHED_PID PORT=$LAUNCHED_PORT
    [ -n "$PORT" ]
}
server() { curl -fsS "http://127.0.0.1:$PORT$1"; }
# stored NAME FILE: the server holds NAME with exactly FILE's bytes.
stored() { cmp -s "$STORE/$1" "$2" || fail "the server's $1 is not $(basename "$2")"; }
absent() { [ ! -e "$STORE/$1" ] || fail "the server holds $1"; }
# upload_page NAME EXPECTED-EXIT [FAULTS]: a page against the server with
# those faults, its counters zeroed first.
upload_page() {
    server /__reset >/dev/null || fail "the mail server does not answer"
    [ -z "${3:-}" ] || server "/__fault?$3" >/dev/null || fail "faults $3 refused"
    run_page "$1" "$2"
}

run_page update_size 0
run_page update_size_calls 0
run_page ole_drop 0
run_page no_browser 0 --no-browser
run_page broken_document 0 --broken-document
run_page two_budget 0
run_page check_all 0
run_page same_file 0
# Files are admitted one by one, about a hundred a second under Wine.
PAGE_TIMEOUT=600 run_page delete_many 0

start_server || fail "the mail server did not start"
random_file() { head -c "$2" /dev/urandom >"$WORK/files/$1"; }
mkdir -p "$WORK/files/same" "$STORE"

random_file run-big.bin 8388608
random_file "진행 파일.txt" 3000
echo "dropped during the run" >"$WORK/files/dropped-during.txt"
echo "after the run" >"$WORK/files/after.txt"
upload_page upload_run 0 "rate=2000000&hold=4194304&target=upload"
stored run-big.bin "$WORK/files/run-big.bin"
stored "진행 파일.txt" "$WORK/files/진행 파일.txt"
absent dropped-during.txt
absent mail.eml

# Each name the server holds already, beside what the user has locally.
for name in ow rn tk tk-taken sk fa-skip1 fa-skip2 fa-ow1 fa-ow2; do
    printf 'held by the server: %s' "$name" >"$STORE/$name.txt"
    cp "$STORE/$name.txt" "$WORK/held-$name.txt"
    random_file "same/$name.txt" 1234
done
random_file same/new.txt 99
upload_page upload_same 0
stored ow.txt "$WORK/files/same/ow.txt"
stored rn.txt "$WORK/held-rn.txt"
stored "새 이름.txt" "$WORK/files/same/rn.txt"
for name in tk tk-taken sk fa-skip1 fa-skip2; do stored "$name.txt" "$WORK/held-$name.txt"; done
stored fa-ow1.txt "$WORK/files/same/fa-ow1.txt"
stored fa-ow2.txt "$WORK/files/same/fa-ow2.txt"
stored new.txt "$WORK/files/same/new.txt"

for name in gone-skip kept-skip gone-cancel kept-cancel; do random_file "$name.txt" 700; done
upload_page upload_missing 0
stored kept-skip.txt "$WORK/files/kept-skip.txt"
for name in gone-skip gone-cancel kept-cancel; do absent "$name.txt"; done

random_file never.bin 65536
upload_page upload_fail 0 "close_after=6000&hold=0&target=upload"
stats=$(server /__stats)
case "$stats" in "uploads=4 "*) ;; *) fail "a failing server was asked $stats, not uploads=4" ;; esac
absent never.bin

# Rewritten in place while the server holds its upload part-way; the
# trace (OutputDebugString) shows on Wine's seh channel.
random_file edited.bin 6291456
WINEDEBUG=-all,warn+seh upload_page upload_edited 0 "hold=65536&target=upload"
absent edited.bin
grep -q 'upload of .*edited.bin: error 0 (the file changed while it was sent' "$WORK/upload_edited.err" ||
    fail "the trace does not say that edited.bin changed while it was sent"

for name in c-button c-box; do random_file "$name.bin" 1048576; random_file "after-${name#c-}.txt" 10; done
upload_page upload_cancel 0 "hold=65536&exists=1&target=upload,exists"
absent after-button.txt
absent after-box.txt

# A page whose script ends without page.exit runs on until its window is
# closed, and then ends with 0, its control closed first.
printf 'page.create("PARVEX.ParvexUpCtrl.1", 10, 10, 300, 100);\npage.log("running");\n' >"$WORK/open.js"
: >"$WORK/open.out"
timeout 60 wine "$PAGE_EXE" "$(winepath -w "$WORK/open.js")" >"$WORK/open.out" 2>&1 &
open_pid=$!
for _ in $(seq 600); do grep -q running "$WORK/open.out" && break; sleep 0.1; done
win_pid=$(winedbg --command "info process" 2>/dev/null | tr -d '\r' | awk '/parvex-page/ {gsub("=", "", $1); print $1}')
if [ -n "$win_pid" ] && kill -0 "$open_pid" 2>/dev/null; then
    wine taskkill /pid $((16#$win_pid)) >/dev/null 2>&1
    wait "$open_pid"
    code=$?
    [ "$code" = 0 ] || fail "a page closed by its window exited $code, not 0: $(cat "$WORK/open.out")"
else
    fail "a page without page.exit did not keep running: $(cat "$WORK/open.out")"
    kill "$open_pid" 2>/dev/null
fi

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

# The download pages fetch from the same server (its GET requests read SERVE)
# into a save folder of their own.

# run_download_page NAME [PREPARE] [FAULTS]: a fresh save folder remembered
# as the user's, downloads slowed down (and held part-way with FAULTS).
run_download_page() {
    SAVE="$WORK/save-$1"
    mkdir -p "$SAVE"
    wine reg add 'HKLM\SOFTWARE\Orvanta Component' /v DownSavePath /d "$(winepath -w "$SAVE")" /f >/dev/null 2>&1
    # Holds left by an earlier page end first: a release is for this page's.
    # The page's own preparation (faults of its own among them) comes after.
    curl -s "http://127.0.0.1:$PORT/__reset" >/dev/null
    [ -n "${2:-}" ] && "$2"
    curl -s "http://127.0.0.1:$PORT/__fault?${3:-rate=200000}&target=download" >/dev/null
    run_page "$1" 0
    curl -s "http://127.0.0.1:$PORT/__reset" >/dev/null
}
same() { cmp -s "$SERVE/$1" "$SAVE/$2" || fail "$3: $2 is not the served $1"; }
not_saved() { [ ! -e "$SAVE/$1" ] || fail "$2: $1 is in the save folder"; }
no_partials() { [ -z "$(ls -A "$SAVE" | grep -v -x -F -f <(printf '%s\n' "$@"))" ] ||
    fail "save folder holds more than $*: $(ls -A "$SAVE" | tr '\n' ' ')"; }

if [ -n "$PORT" ]; then
    run_download_page download_run "" "rate=200000&hold=200000"
    for f in a.bin "보고서 1.txt" empty.txt d.bin b.bin; do same "$f" "$f" download_run; done
    no_partials a.bin "보고서 1.txt" empty.txt d.bin b.bin

    run_download_page download_cancel "" "rate=200000&hold=200000"
    not_saved a.bin "deleted row"
    not_saved b.bin "cancelled transfer"
    no_partials

    # Resuming, against a server of its own that records every request.
    mkdir -p "$WORK/serve-resume" "$WORK/record-resume"
    head -c 409600 /dev/urandom >"$WORK/serve-resume/r.bin"
    if launch_mailserver "$BUILD/../native/parvex-mailserver" "$STORE" "$WORK/serve-resume" \
        --record "$WORK/record-resume"; then
        RESUME_PID=$LAUNCHED_PID
        cut_and_hold() {
            curl -s "http://127.0.0.1:$PORT/__fault?close_after=153600&target=download&count=1" >/dev/null
            curl -s "http://127.0.0.1:$PORT/__fault?hold_head=1&target=ranged&count=1" >/dev/null
        }
        MAIN_PORT=$PORT PORT=$LAUNCHED_PORT
        run_download_page download_resume cut_and_hold "rate=2000000"
        PORT=$MAIN_PORT
        kill "$RESUME_PID" 2>/dev/null && wait "$RESUME_PID" 2>/dev/null
        cmp -s "$WORK/serve-resume/r.bin" "$SAVE/r.bin" || fail "download_resume: r.bin is not the served file"
        cmp -s "$WORK/serve-resume/r.bin" "$SAVE/k.bin" || fail "download_resume: k.bin is not the served file"
        no_partials r.bin k.bin
        ranges=$(cat "$WORK/record-resume"/*.bin | tr -d '\r' | sed -n 's/^Range: bytes=//p' | tr '\n' ' ')
        [ "$ranges" = "153600- 102400- " ] || fail "download_resume: the requests asked for [$ranges]"
    else
        fail "the server of download_resume did not start"
    fi

    conflicts() {
        printf 'old a' >"$SAVE/a.bin"
        printf 'old b' >"$SAVE/b.bin"
        printf 'old c' >"$SAVE/c.bin"
    }
    run_download_page download_queue_many
    no_partials

    run_download_page download_labels conflicts
    for f in a b c; do [ "$(cat "$SAVE/$f.bin")" = "old $f" ] || fail "download_labels: the skipped $f.bin changed"; done
    same d.bin d.bin download_labels
    no_partials a.bin b.bin c.bin d.bin kept.bin kept.bin.parvex

    run_download_page download_conflict conflicts
    [ "$(cat "$SAVE/a.bin")" = "old a" ] || fail "download_conflict: the renamed file's old one changed"
    same a.bin a2.bin download_conflict
    same b.bin b.bin download_conflict
    [ "$(cat "$SAVE/c.bin")" = "old c" ] || fail "download_conflict: the skipped file changed"
    same d.bin d.bin download_conflict
    no_partials a.bin a2.bin b.bin c.bin d.bin

    # A folder where a file is to go, and a status line with a NUL for the
    # first request.
    hostile() {
        mkdir -p "$SAVE/report"
        curl -s "http://127.0.0.1:$PORT/__fault?target=download&count=1&rawreply=HTTP/1.1%20404%20Not%00Found%0D%0AContent-Length:%200%0D%0A%0D%0A" >/dev/null
    }
    run_download_page download_hostile hostile
    long=$(printf 'l%.0s' $(seq 251)).bin
    same d.bin "$long" download_hostile
    [ -z "$(ls -A "$SAVE/report")" ] || fail "download_hostile: something was written into the folder report"
    no_partials report "$long"

    # The first upload and the first download at 200 KB/s, then both at full
    # speed with files large enough (sparse, 512 MiB) that the page's cancel
    # comes first.
    SAVE="$WORK/save-progress_pace"
    mkdir -p "$SAVE"
    wine reg add 'HKLM\SOFTWARE\Orvanta Component' /v DownSavePath /d "$(winepath -w "$SAVE")" /f >/dev/null 2>&1
    random_file slow-up.bin 1048576
    head -c 1048576 /dev/urandom >"$SERVE/slow-dn.bin"
    truncate -s 512M "$WORK/files/fast-up.bin" "$SERVE/fast-dn.bin"
    upload_page progress_pace 0 "rate=200000&count=2"
    stored slow-up.bin "$WORK/files/slow-up.bin"
    absent fast-up.bin
    same slow-dn.bin slow-dn.bin progress_pace
    no_partials slow-dn.bin
    rm -f "$WORK/files/fast-up.bin" "$SERVE/fast-dn.bin"

    # A download and an upload that the server holds part-way.
    SAVE="$WORK/save-progress_stall"
    mkdir -p "$SAVE"
    wine reg add 'HKLM\SOFTWARE\Orvanta Component' /v DownSavePath /d "$(winepath -w "$SAVE")" /f >/dev/null 2>&1
    random_file stall-up.bin 33554432
    head -c 4194304 /dev/urandom >"$SERVE/stall-dn.bin"
    upload_page progress_stall 0
    stored stall-up.bin "$WORK/files/stall-up.bin"
    same stall-dn.bin stall-dn.bin progress_stall
    no_partials stall-dn.bin
    rm -f "$WORK/files/stall-up.bin" "$SERVE/stall-dn.bin"
fi

# The site lock. With AllowedSites listing https://mail.example.com, a page
# there uploads and downloads; at each address after it every method fails,
# the server sees no request, and neither the save folder nor the settings
# key changes; the trace names the address. Without the list a page
# anywhere works as before.
if [ -n "$PORT" ]; then
    LOCK_KEY='HKLM\SOFTWARE\Orvanta Component'
    settings_now() { wine reg query "$LOCK_KEY" /s 2>/dev/null; wine reg query 'HKCU\SOFTWARE\Orvanta Component' /s 2>/dev/null; }
    lock_allowed() {  # ADDRESS
        rm -rf "$STORE/a.txt" "$WORK/save-site_lock"
        PAGE_URL=$1 ALLOWED=1 run_download_page site_lock
        stored a.txt "$WORK/files/a.txt"
        same d.bin d.bin "site lock at $1"
    }
    mkdir -p "$WORK/files/lock" && : >"$WORK/files/lock/empty.txt"
    wine reg add "$LOCK_KEY" /v AllowedSites /t REG_MULTI_SZ /d 'https://mail.example.com' /f >/dev/null 2>&1
    lock_allowed https://mail.example.com/inbox
    for address in http://mail.example.com/ https://mail.example.com.evil.test/ https://mail.example.com@evil.test/ \
        'https://evil.test/?https://mail.example.com' https://mail.example.com:444/ file:///C:/x.html about:blank; do
        SAVE="$WORK/save-lock"
        mkdir -p "$SAVE"
        wine reg add "$LOCK_KEY" /v DownSavePath /d "$(winepath -w "$SAVE")" /f >/dev/null 2>&1
        before=$(settings_now)
        server /__reset >/dev/null
        PAGE_URL=$address ALLOWED=0 WINEDEBUG=-all,warn+seh run_page site_lock 0
        [ "$(settings_now)" = "$before" ] || fail "the page at $address changed the settings key"
        stats=$(server /__stats)
        [ "$stats" = "uploads=0 exists=0 downloads=0 bad=0" ] || fail "the page at $address reached the server: $stats"
        no_partials
        grep -qF "site lock refused UploadStart to the page $address: error 0x80070005 (" "$WORK/site_lock.err" ||
            fail "the trace does not name the refused page at $address"
    done
    wine reg delete "$LOCK_KEY" /v AllowedSites /f >/dev/null 2>&1
    lock_allowed https://evil.test/
fi

# https and IPv6. The test authority is trusted in this prefix only while
# these pages run (cleanup takes it out whatever happens). The server's TLS
# twin shares its folders and listens on 127.0.0.1 and ::1; each refused
# certificate has a server of its own that records any request reaching it.
PKI="$BUILD/../pki"
tls_server() {  # CERTIFICATE [OPTIONS...]: sets LAUNCHED_PORT
    local cert=$1
    shift
    launch_mailserver "$BUILD/../native/parvex-mailserver" "$STORE" "$SERVE" --tls-cert "$PKI/$cert.pem" \
        --tls-key "$PKI/server.key" "$@"
    TLS_PIDS="$TLS_PIDS $LAUNCHED_PID"
    [ -n "$LAUNCHED_PORT" ] || fail "the TLS server with $cert.pem did not start"
}
if [ -n "$PORT" ] && bash "$HERE/../../tools/mailserver/make_test_pki.sh" "$PKI"; then
    trust_test_ca "$BUILD" "$PKI" || fail "the test authority was not trusted"
    tls_server localhost --listen 127.0.0.1 --listen ::1
    TLS_PORT=$LAUNCHED_PORT
    BAD_SERVERS=""
    for cert in selfsigned unknown unknown-chain othername expired wrongip; do
        mkdir -p "$WORK/record-$cert"
        tls_server "$cert" --record "$WORK/record-$cert"
        host=localhost
        [ "$cert" = wrongip ] && host=127.0.0.1
        BAD_SERVERS="$BAD_SERVERS $cert=$host:$LAUNCHED_PORT"
    done
    # A good certificate, but only TLS 1.0 or only TLS 1.1 on offer.
    for version in 1.0 1.1; do
        name=tls${version/./}
        mkdir -p "$WORK/record-$name"
        tls_server localhost --record "$WORK/record-$name" --tls-max "$version"
        BAD_SERVERS="$BAD_SERVERS $name=localhost:$LAUNCHED_PORT"
    done
    BAD_SERVERS=${BAD_SERVERS# }

    SAVE="$WORK/save-tls"
    mkdir -p "$SAVE"
    wine reg add 'HKLM\SOFTWARE\Orvanta Component' /v DownSavePath /d "$(winepath -w "$SAVE")" /f >/dev/null 2>&1
    for name in tls plain6 tls6; do random_file "$name-up.bin" 1048576; done
    # Larger than what the socket buffers hold, so the cut comes mid-send.
    random_file tls-cut.bin 2097152
    server /__reset >/dev/null
    run_page tls_transfers 0
    for name in tls-up.bin plain6-up.bin tls6-up.bin tls-cut.bin; do stored "$name" "$WORK/files/$name"; done
    same a.bin tls-a.bin tls_transfers
    same b.bin tls6-b.bin tls_transfers
    same c.bin plain6-c.bin tls_transfers
    same a.bin cut-a.bin tls_transfers
    no_partials tls-a.bin tls6-b.bin plain6-c.bin cut-a.bin

    for name in refused-exists refused-up; do random_file "$name.bin" 5000; done
    SAVE="$WORK/save-refused"
    mkdir -p "$SAVE"
    wine reg add 'HKLM\SOFTWARE\Orvanta Component' /v DownSavePath /d "$(winepath -w "$SAVE")" /f >/dev/null 2>&1
    # The trace (OutputDebugString) shows on Wine's seh channel.
    WINEDEBUG=-all,warn+seh run_page tls_refused 0
    for entry in $BAD_SERVERS; do
        name=${entry%%=*} port=${entry##*:}
        [ -z "$(ls -A "$WORK/record-$name")" ] || fail "a request reached the server $name"
        stats=$(curl -fsS "http://127.0.0.1:$port/__stats")
        [ "$stats" = "uploads=0 exists=0 downloads=0 bad=0" ] || fail "the server $name counted $stats"
        # The module judges the protocol and the certificate once the
        # handshake is through, and then closes: the server counts a
        # handshake, or a failed one.
        [ "$(curl -fsS "http://127.0.0.1:$port/__tls")" != "handshakes=0 failed=0" ] ||
            fail "no TLS client came to the server $name"
    done
    no_partials
    for reason in "untrusted root" "partial chain" "wrong name" "expired" "the IP address is not in the certificate"; do
        grep -q "TLS refused the certificate of [^:]*: error 0x800B01[0-9A-F]* ($reason" "$WORK/tls_refused.err" ||
            fail "no refusal for $reason in the trace"
    done
    for version in 1.0 1.1; do
        grep -q "TLS refused the protocol of localhost: error 0x80090331 (TLS $version was negotiated" \
            "$WORK/tls_refused.err" || fail "no refusal of TLS $version in the trace"
    done
    untrust_test_ca
    stop_tls_servers
elif [ -n "$PORT" ]; then
    fail "the test certificates could not be made"
fi

# Every screenshot is a picture of the page's size.
for shot in list-empty list-rows list-two-budget; do
    size=$(identify -format '%wx%h' "$SCREENS/$shot.png" 2>/dev/null)
    [ "$size" = 800x600 ] || fail "$shot.png is not an 800x600 picture (${size:-unreadable})"
done
# The upload's dialogs and boxes, each a picture of some size.
for shot in upload-progress upload-same-file change-filename file-not-found upload-retry-question upload-cancelled; do
    size=$(identify -format '%w %h' "$SCREENS/$shot.png" 2>/dev/null)
    [ "${size%% *}" -gt 100 ] 2>/dev/null && [ "${size##* }" -gt 50 ] ||
        fail "$shot.png is no picture of a dialog (${size:-unreadable})"
done

for shot in dialog-idle dialog-running dialog-finished conflict-prompt tray-icon; do
    [ -s "$SCREENS/$shot.png" ] || fail "no $shot.png"
done

if [ "$failures" -gt 0 ]; then
    echo "$failures page check(s) failed"
    exit 1
fi
echo "page checks passed"
