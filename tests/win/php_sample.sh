#!/usr/bin/env bash
# The server sample (examples/server/router.php) under PHP's built-in server,
# driven by parvex-cli and by a page in parvex-page.exe: Korean names, a
# rename, a skip, an attachment from the mail, "Expect: 100-continue" (which
# PHP's server never answers) and a download of each, compared byte for byte.
# Then the same server behind nginx over https, as docs/integrating.md sets it
# up: one upload (a Korean name, a rename) and its download with each client.
set -u
BUILD=${1:?usage: php_sample.sh <build/win dir>}
HERE=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
ROOT=$(cd "$HERE/../.." && pwd)
CLI="$(cd "$BUILD/.." && pwd)/native/parvex-cli"
PKI="$(cd "$BUILD/.." && pwd)/pki"
WORK=$(mktemp -d "${TMPDIR:-/tmp}/parvex-php.XXXXXX")
failures=0
PHP_PID="" NGINX_PID="" RELAY_PID=""
source "$HERE/lib/test_ca.sh"
source "$HERE/lib/nginx.sh"

fail() { echo "FAIL: $*"; failures=$((failures + 1)); }
cleanup() {
    untrust_test_ca
    local pid
    for pid in $RELAY_PID $NGINX_PID $PHP_PID; do kill "$pid" 2>/dev/null && wait "$pid" 2>/dev/null; done
    rm -rf "$WORK"
}
trap cleanup EXIT

command -v php >/dev/null || { echo "php is not installed (./parvex installs php-cli)"; exit 1; }
NGINX=$(command -v nginx || echo /usr/sbin/nginx)
[ -x "$NGINX" ] || { echo "nginx is not installed (./parvex installs it)"; exit 1; }

# The sample asks for a session cookie; the clients must send it.
COOKIE="sid=php-sample-7f3a"

# on_free_port PIDVAR START PROBE: START PORT starts a server in the
# background and PROBE PORT succeeds once it answers; loopback ports are tried
# until one is free. The server's pid goes to PIDVAR at once (for cleanup),
# its port to FREE_PORT.
on_free_port() {
    local pidvar=$1 start=$2 probe=$3 port
    for _ in $(seq 20); do
        port=$((20000 + RANDOM % 20000))
        "$start" "$port"
        printf -v "$pidvar" %s "$!"
        for _ in $(seq 100); do
            "$probe" "$port" && { FREE_PORT=$port; return 0; }
            kill -0 "${!pidvar}" 2>/dev/null || break
            sleep 0.05
        done
        kill "${!pidvar}" 2>/dev/null && wait "${!pidvar}" 2>/dev/null
        printf -v "$pidvar" %s ""
    done
    return 1
}

# PHP's server, started in WORK so that its store is the sample's default,
# WORK/store. Its limits raised as the guide says.
php_on() {
    (cd "$WORK" && PARVEX_SESSION_COOKIE=$COOKIE exec php -d upload_max_filesize=64M -d post_max_size=64M \
        -S "127.0.0.1:$1" "$ROOT/examples/server/router.php" >"$WORK/php.log" 2>&1) &
}
php_answers() { curl -s -o /dev/null "http://127.0.0.1:$1/"; }
on_free_port PHP_PID php_on php_answers || { echo "PHP's built-in server did not start"; cat "$WORK/php.log"; exit 1; }
PORT=$FREE_PORT
SERVER="http://127.0.0.1:$PORT"

# nginx terminating TLS for PHP's server with the server block of
# docs/integrating.md, on 127.0.0.1 and ::1: a configuration and prefix of
# its own in WORK, in the foreground as one process.
NGINX_DIR="$WORK/nginx"
nginx_on() {
    nginx_conf "$NGINX_DIR" "    server {
        listen 127.0.0.1:$1 ssl;
        listen [::1]:$1 ssl;
        server_name localhost;
        ssl_certificate $PKI/localhost.pem;
        ssl_certificate_key $PKI/server.key;
        ssl_protocols TLSv1.2 TLSv1.3;
        client_max_body_size 64m;
        location / {
            proxy_pass http://127.0.0.1:$PORT;
            proxy_http_version 1.1;
            proxy_request_buffering off;
            proxy_set_header Host \$host;
        }
    }"
    "$NGINX" -e "$NGINX_DIR/logs/error.log" -p "$NGINX_DIR" -c "$NGINX_DIR/nginx.conf" 2>>"$NGINX_DIR/logs/start.log" &
}
nginx_answers() { curl -s -o /dev/null --cacert "$PKI/ca.pem" "https://localhost:$1/"; }
HTTPS=""
if ! bash "$ROOT/tools/mailserver/make_test_pki.sh" "$PKI"; then
    fail "the test certificates could not be made"
elif on_free_port NGINX_PID nginx_on nginx_answers; then
    HTTPS="https://localhost:$FREE_PORT"
else
    fail "nginx did not start"
    cat "$NGINX_DIR/logs/start.log" "$NGINX_DIR/logs/error.log" 2>/dev/null
fi
STORE="$WORK/store"
mkdir -p "$WORK/files" "$WORK/down" "$STORE"

random_file() { head -c "$2" /dev/urandom >"$WORK/files/$1"; }
stored() { cmp -s "$STORE/$1" "$2" || fail "the server's $1 is not $(basename "$2")"; }
saved() { cmp -s "$1/$2" "$3" || fail "$1/$2 is not $(basename "$3")"; }
cli() {
    local name=$1; shift
    "$CLI" "$@" </dev/null >"$WORK/$name.out" 2>"$WORK/$name.err"
    local code=$?
    [ "$code" = 0 ] || { fail "parvex-cli $name exited $code"; sed 's/^/    /' "$WORK/$name.err"; }
}
upload() {  # NAME BASE-URL OPTION-OR-FILE...
    cli "$1" upload --url "$2/upload" --exist-url "$2/exists" --fields fname,uname,upfile \
        --cookie "$COOKIE" "${@:3}"
}

# --- parvex-cli --------------------------------------------------------------
random_file "한글 문서.txt" 30000
random_file "겹침.txt" 1234
random_file "건너뜀.txt" 777
random_file "기대.bin" 1048576
printf 'held: 겹침' >"$STORE/겹침.txt" && cp "$STORE/겹침.txt" "$WORK/held-겹침.txt"
printf 'held: 건너뜀' >"$STORE/건너뜀.txt" && cp "$STORE/건너뜀.txt" "$WORK/held-건너뜀.txt"

upload korean "$SERVER" "$WORK/files/한글 문서.txt"
stored "한글 문서.txt" "$WORK/files/한글 문서.txt"
upload rename "$SERVER" --same="rename:겹침 새이름.txt" "$WORK/files/겹침.txt"
stored "겹침.txt" "$WORK/held-겹침.txt"
stored "겹침 새이름.txt" "$WORK/files/겹침.txt"
upload skip "$SERVER" --same=skip "$WORK/files/건너뜀.txt"
stored "건너뜀.txt" "$WORK/held-건너뜀.txt"
grep -q "건너뜀" "$WORK/skip.out" || fail "the skip was not reported: $(cat "$WORK/skip.out")"
# PHP's server never answers "Expect"; the body goes after a second. The
# bound only keeps a regression from waiting minutes.
timeout 5 "$CLI" upload --url "$SERVER/upload" --fields fname,uname,upfile --cookie "$COOKIE" --expect-continue \
    "$WORK/files/기대.bin" </dev/null >"$WORK/expect.out" 2>&1 ||
    fail "the upload with Expect: 100-continue did not complete within 5 s: $(cat "$WORK/expect.out")"
stored "기대.bin" "$WORK/files/기대.bin"

cli download download --host "$SERVER/" --dest "$WORK/down" --cookie "$COOKIE" \
    "/files/한글 문서.txt" "한글 문서.txt" "/files/겹침 새이름.txt" "겹침 새이름.txt" \
    "/files/건너뜀.txt" "건너뜀.txt" "/files/기대.bin" "기대.bin"
saved "$WORK/down" "한글 문서.txt" "$WORK/files/한글 문서.txt"
saved "$WORK/down" "겹침 새이름.txt" "$WORK/files/겹침.txt"
saved "$WORK/down" "건너뜀.txt" "$WORK/held-건너뜀.txt"
saved "$WORK/down" "기대.bin" "$WORK/files/기대.bin"

# A download cut short goes on from its part: the reference mail server,
# relaying to PHP's server, cuts the first reply after 100000 bytes; the retry
# asks the sample for the rest (Range with If-Range) and appends its 206.
MAILSERVER="$(cd "$BUILD/.." && pwd)/native/parvex-mailserver"
mkdir -p "$WORK/relay-store" "$WORK/relay-record"
relay_on() {
    "$MAILSERVER" --port "$1" --store "$WORK/relay-store" --serve "$STORE" --record "$WORK/relay-record" \
        --upstream "127.0.0.1:$PORT" >"$WORK/relay.log" 2>&1 &
}
relay_answers() { curl -s -o /dev/null "http://127.0.0.1:$1/__stats"; }
if on_free_port RELAY_PID relay_on relay_answers; then
    curl -s -o /dev/null "http://127.0.0.1:$FREE_PORT/__fault?close_after=100000&target=download&count=1"
    cli resume download --host "http://127.0.0.1:$FREE_PORT/" --dest "$WORK/down" --cookie "$COOKIE" \
        "/files/기대.bin" "이어받기.bin"
    saved "$WORK/down" "이어받기.bin" "$WORK/files/기대.bin"
    grep -q "^이어받기 0. 이어받기.bin" "$WORK/resume.err" || fail "the download did not go on: $(cat "$WORK/resume.err")"
    grep -l '^Range: bytes=100000-' "$WORK/relay-record"/*.bin | xargs -r grep -q '^If-Range: "' ||
        fail "the retry did not ask for the rest"
    kill "$RELAY_PID" 2>/dev/null && wait "$RELAY_PID" 2>/dev/null
    RELAY_PID=""
else
    fail "the mail server relaying to PHP's server did not start"
fi

# Over https, the test authority trusted by this parvex-cli alone.
if [ -n "$HTTPS" ]; then
    random_file "보안 문서.txt" 1048576
    printf 'held: 보안 문서' >"$STORE/보안 문서.txt" && cp "$STORE/보안 문서.txt" "$WORK/held-보안 문서.txt"
    SSL_CERT_FILE="$PKI/ca.pem" upload https "$HTTPS" --same="rename:보안 새이름.txt" "$WORK/files/보안 문서.txt"
    stored "보안 문서.txt" "$WORK/held-보안 문서.txt"
    stored "보안 새이름.txt" "$WORK/files/보안 문서.txt"
    SSL_CERT_FILE="$PKI/ca.pem" cli https-download download --host "$HTTPS/" --dest "$WORK/down" \
        --cookie "$COOKIE" "/files/보안 새이름.txt" "보안 새이름.txt"
    saved "$WORK/down" "보안 새이름.txt" "$WORK/files/보안 문서.txt"
fi

# Without the session nothing is stored or served.
"$CLI" upload --url "$SERVER/upload" --fields fname,uname,upfile "$WORK/files/기대.bin" </dev/null \
    >"$WORK/nosession.out" 2>&1 && fail "an upload without the session cookie succeeded"
grep -q "로그인이 필요합니다." "$WORK/nosession.out" || fail "the sample's refusal was not shown: $(cat "$WORK/nosession.out")"
code=$(curl -s -o /dev/null -w '%{http_code}' "$SERVER/files/%EA%B8%B0%EB%8C%80.bin")
[ "$code" = 403 ] || fail "a download without the session answered $code, not 403"

# --- a page in parvex-page.exe ------------------------------------------------
PAGES="$HERE/../page"
OCX=$(winepath -w "$BUILD/PARVEX.OCX")
SCREENS=$(cd "$BUILD/.." && pwd)/screens
mkdir -p "$SCREENS" "$WORK/page" "$WORK/save"
rm -rf "${STORE:?}"/*
head -c 2000 /dev/urandom >"$STORE/메일 첨부.txt" && cp "$STORE/메일 첨부.txt" "$WORK/held-메일 첨부.txt"
printf 'held: 겹침' >"$STORE/겹침.txt"
printf 'held: 건너뜀' >"$STORE/건너뜀.txt"
for f in "한글 문서.txt:30000" "겹침.txt:1234" "건너뜀.txt:777" "보안 페이지.txt:300000"; do head -c "${f##*:}" /dev/urandom >"$WORK/page/${f%:*}"; done

for_sed() { printf '%s' "$1" | sed 's/\\/\\\\\\\\/g'; }
bash "$PAGES/make_ids.sh" || fail "tests/page/ids.js could not be made"
# run_sample_page NAME: the page after the resource ids and the shared parts,
# its folders, ports and cookie filled in; it must exit 0.
run_sample_page() {
    local code
    cat "$PAGES/ids.js" "$PAGES/common.js" "$PAGES/php_common.js" "$PAGES/$1.js" |
        sed -e "s|@FILES@|$(for_sed "$(winepath -w "$WORK/page")")|" -e "s|@SCREENS@|$(for_sed "$(winepath -w "$SCREENS")")|" \
            -e "s|@PORT@|$PORT|" -e "s|@TLSPORT@|${HTTPS##*:}|" -e "s|@SAVE@|$(for_sed "$(winepath -w "$WORK/save")")|" \
            -e "s|@COOKIE@|$COOKIE|" >"$WORK/$1.js"
    timeout 120 wine "$BUILD/parvex-page.exe" "$(winepath -w "$WORK/$1.js")" >"$WORK/$1.out" 2>"$WORK/$1.err"
    code=$?
    cat "$WORK/$1.out"
    [ "$code" = 0 ] || { fail "the page $1 exited $code"; sed 's/^/    /' "$WORK/$1.err"; }
}
if wine regsvr32 /s "$OCX"; then
    run_sample_page php_sample
    # The test authority is trusted in the prefix for the https page alone.
    if [ -n "$HTTPS" ]; then
        if trust_test_ca "$BUILD" "$PKI"; then run_sample_page php_https; else fail "the test authority was not trusted"; fi
        untrust_test_ca
    fi
    wine regsvr32 /u /s "$OCX" >/dev/null 2>&1
else
    fail "PARVEX.OCX could not be registered"
fi
stored "메일 첨부.txt" "$WORK/held-메일 첨부.txt"
stored "한글 문서.txt" "$WORK/page/한글 문서.txt"
stored "겹침 새이름.txt" "$WORK/page/겹침.txt"
for f in "메일 첨부.txt" "한글 문서.txt" "겹침 새이름.txt" "건너뜀.txt"; do saved "$WORK/save" "$f" "$STORE/$f"; done
if [ -n "$HTTPS" ]; then
    stored "보안 페이지.txt" "$WORK/page/보안 페이지.txt"
    saved "$WORK/save" "보안 페이지.txt" "$WORK/page/보안 페이지.txt"
fi
[ "$(cat "$STORE/겹침.txt")" = "held: 겹침" ] || fail "the renamed file's old one changed"
[ "$(cat "$STORE/건너뜀.txt")" = "held: 건너뜀" ] || fail "the skipped file changed"

# No client path escapes the store.
for target in "/files/..%2Fphp.log" "/files/%2E%2E/php.log" "/files/a%5C..%5C..%5Cphp.log"; do
    code=$(curl -s -o /dev/null -w "%{http_code}" -b "$COOKIE" --path-as-is "$SERVER$target")
    [ "$code" = 404 ] || fail "GET $target answered $code, not 404"
done

if [ "$failures" -gt 0 ]; then
    echo "$failures PHP sample check(s) failed"
    exit 1
fi
echo "PHP sample checks passed"
