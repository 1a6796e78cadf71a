#!/usr/bin/env bash
# The server sample (examples/server/router.php) under PHP's built-in server,
# driven by parvex-cli and by a page in parvex-page.exe: Korean names, a
# rename, a skip, an attachment from the mail, "Expect: 100-continue" (which
# PHP's server never answers) and a download of each, compared byte for byte.
set -u
BUILD=${1:?usage: php_sample.sh <build/win dir>}
HERE=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
ROOT=$(cd "$HERE/../.." && pwd)
CLI="$(cd "$BUILD/.." && pwd)/native/parvex-cli"
WORK=$(mktemp -d "${TMPDIR:-/tmp}/parvex-php.XXXXXX")
failures=0
PHP_PID=""

fail() { echo "FAIL: $*"; failures=$((failures + 1)); }
cleanup() {
    [ -n "$PHP_PID" ] && kill "$PHP_PID" 2>/dev/null && wait "$PHP_PID" 2>/dev/null
    rm -rf "$WORK"
}
trap cleanup EXIT

command -v php >/dev/null || { echo "php is not installed (./parvex installs php-cli)"; exit 1; }

# PHP's server on a free port, started in WORK so that its store is the
# sample's default, WORK/store. Its limits raised as the guide says.
start_php() {
    local port
    for _ in $(seq 20); do
        port=$((20000 + RANDOM % 20000))
        (cd "$WORK" && exec php -d upload_max_filesize=64M -d post_max_size=64M \
            -S "127.0.0.1:$port" "$ROOT/examples/server/router.php" >"$WORK/php.log" 2>&1) &
        PHP_PID=$!
        for _ in $(seq 100); do
            curl -s -o /dev/null "http://127.0.0.1:$port/" && { PORT=$port; return 0; }
            kill -0 "$PHP_PID" 2>/dev/null || break
            sleep 0.05
        done
        kill "$PHP_PID" 2>/dev/null && wait "$PHP_PID" 2>/dev/null
        PHP_PID=""
    done
    return 1
}
start_php || { echo "PHP's built-in server did not start"; cat "$WORK/php.log"; exit 1; }
SERVER="http://127.0.0.1:$PORT"
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
upload() { cli "$1" upload --url "$SERVER/upload" --exist-url "$SERVER/exists" --fields fname,uname,upfile "${@:2}"; }

# --- parvex-cli --------------------------------------------------------------
random_file "한글 문서.txt" 30000
random_file "겹침.txt" 1234
random_file "건너뜀.txt" 777
random_file "기대.bin" 1048576
printf 'held: 겹침' >"$STORE/겹침.txt" && cp "$STORE/겹침.txt" "$WORK/held-겹침.txt"
printf 'held: 건너뜀' >"$STORE/건너뜀.txt" && cp "$STORE/건너뜀.txt" "$WORK/held-건너뜀.txt"

upload korean "$WORK/files/한글 문서.txt"
stored "한글 문서.txt" "$WORK/files/한글 문서.txt"
upload rename --same="rename:겹침 새이름.txt" "$WORK/files/겹침.txt"
stored "겹침.txt" "$WORK/held-겹침.txt"
stored "겹침 새이름.txt" "$WORK/files/겹침.txt"
upload skip --same=skip "$WORK/files/건너뜀.txt"
stored "건너뜀.txt" "$WORK/held-건너뜀.txt"
grep -q "건너뜀" "$WORK/skip.out" || fail "the skip was not reported: $(cat "$WORK/skip.out")"
# PHP's server never answers "Expect"; the body goes after a second. The
# bound only keeps a regression from waiting minutes.
timeout 5 "$CLI" upload --url "$SERVER/upload" --fields fname,uname,upfile --expect-continue \
    "$WORK/files/기대.bin" </dev/null >"$WORK/expect.out" 2>&1 ||
    fail "the upload with Expect: 100-continue did not complete within 5 s: $(cat "$WORK/expect.out")"
stored "기대.bin" "$WORK/files/기대.bin"

cli download download --host "$SERVER/" --dest "$WORK/down" \
    "/files/한글 문서.txt" "한글 문서.txt" "/files/겹침 새이름.txt" "겹침 새이름.txt" \
    "/files/건너뜀.txt" "건너뜀.txt" "/files/기대.bin" "기대.bin"
saved "$WORK/down" "한글 문서.txt" "$WORK/files/한글 문서.txt"
saved "$WORK/down" "겹침 새이름.txt" "$WORK/files/겹침.txt"
saved "$WORK/down" "건너뜀.txt" "$WORK/held-건너뜀.txt"
saved "$WORK/down" "기대.bin" "$WORK/files/기대.bin"

# No client path escapes the store.
for target in "/files/..%2Fphp.log" "/files/%2E%2E/php.log" "/files/a%5C..%5C..%5Cphp.log"; do
    code=$(curl -s -o /dev/null -w '%{http_code}' --path-as-is "$SERVER$target")
    [ "$code" = 404 ] || fail "GET $target answered $code, not 404"
done

if [ "$failures" -gt 0 ]; then
    echo "$failures PHP sample check(s) failed"
    exit 1
fi
echo "PHP sample checks passed"
