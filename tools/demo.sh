#!/usr/bin/env bash
# The demonstration: the reference mail server on a free loopback port, a few
# files uploaded through parvex-cli, what the server stored, and the same
# files downloaded back through parvex-cli and compared.
#   tools/demo.sh BUILD_DIR     (BUILD_DIR holds parvex-cli and parvex-mailserver)
set -uo pipefail

BUILD=${1:?usage: demo.sh BUILD_DIR}
CLI="$BUILD/parvex-cli"
SERVER="$BUILD/parvex-mailserver"
for tool in "$CLI" "$SERVER"; do
    [ -x "$tool" ] || { echo "missing $tool; build first" >&2; exit 1; }
done

WORK=$(mktemp -d "${TMPDIR:-/tmp}/parvex-demo.XXXXXX")
SERVER_PID=""
cleanup() {
    if [ -n "$SERVER_PID" ]; then
        kill "$SERVER_PID" 2>/dev/null
        wait "$SERVER_PID" 2>/dev/null
    fi
    rm -rf "$WORK"
}
trap cleanup EXIT
trap 'exit 130' INT TERM

say() { printf '\n== %s\n' "$*"; }

mkdir -p "$WORK/store" "$WORK/files"
# Remembered folders go to the demo's own settings file.
export PARVEX_SETTINGS="$WORK/settings"
"$SERVER" --port 0 --port-file "$WORK/port" --store "$WORK/store" >"$WORK/server.out" 2>"$WORK/server.log" &
SERVER_PID=$!
for _ in $(seq 100); do [ -s "$WORK/port" ] && break; sleep 0.05; done
PORT=$(cat "$WORK/port" 2>/dev/null)
[ -n "$PORT" ] || { echo "the mail server did not start" >&2; cat "$WORK/server.log" >&2; exit 1; }
BASE="http://127.0.0.1:$PORT"
say "reference mail server on $BASE (pid $SERVER_PID)"

FILES="$WORK/files"
printf 'Hello from PARVEX.\n' >"$FILES/hello.txt"
printf '회의록: 다음 주 월요일 10시.\n' >"$FILES/회의록 초안.txt"
head -c 3000000 /dev/urandom >"$FILES/photo.jpg"
: >"$FILES/empty.dat"

say "upload of four files (one with a Korean name)"
"$CLI" upload --url "$BASE/upload" --exist-url "$BASE/exists" --fields fname,uname,upfile \
    --cookie "session=demo" --title "PARVEX demo" \
    "$FILES/hello.txt" "$FILES/회의록 초안.txt" "$FILES/photo.jpg" "$FILES/empty.dat" </dev/null
echo "exit code $?"

say "the same file again: the server already has it, renamed by --same"
"$CLI" upload --url "$BASE/upload" --exist-url "$BASE/exists" --fields fname,uname,upfile \
    --same=rename:hello-2.txt "$FILES/hello.txt" </dev/null
echo "exit code $?"

say "what the server stored"
STATUS=0
for f in "$WORK/store"/*; do
    case "$f" in *.fields) continue ;; esac
    name=$(basename "$f")
    local_file="$FILES/$name"
    [ "$name" = hello-2.txt ] && local_file="$FILES/hello.txt"
    if cmp -s "$f" "$local_file"; then same="identical to the local file"; else same="DIFFERS"; STATUS=1; fi
    printf '  %-20s %9d bytes  %s\n' "$name" "$(stat -c %s "$f")" "$same"
    sed 's/^/      /' "$f.fields"
done

say "download of the stored files back into another folder (one batch)"
BACK="$WORK/back"
"$CLI" download --host "$BASE/" --dest "$BACK" --cookie "session=demo" --title "PARVEX demo" \
    /hello.txt hello.txt "/회의록 초안.txt" "회의록 초안.txt" /photo.jpg photo.jpg /empty.dat empty.dat </dev/null
echo "exit code $?"

say "hello.txt again: the name is taken, renamed by --exists; a missing file fails"
"$CLI" download --host "$BASE/" --dest "$BACK" --exists=rename:hello-again.txt \
    /hello.txt hello.txt /no-such-file.txt missing.txt </dev/null
echo "exit code $? (1: not every file arrived)"

say "downloaded files against the originals"
for name in hello.txt "회의록 초안.txt" photo.jpg empty.dat hello-again.txt; do
    original="$FILES/$name"
    [ "$name" = hello-again.txt ] && original="$FILES/hello.txt"
    if [ -f "$BACK/$name" ] && cmp -s "$BACK/$name" "$original"; then same="identical to the original"; else same="DIFFERS"; STATUS=1; fi
    printf '  %-20s %9s bytes  %s\n' "$name" "$(stat -c %s "$BACK/$name" 2>/dev/null || echo -)" "$same"
done
[ -e "$BACK/missing.txt" ] && { echo "  missing.txt should not exist"; STATUS=1; }

say "server counters: $(curl -s "$BASE/__stats" 2>/dev/null || echo unavailable)"
exit $STATUS
