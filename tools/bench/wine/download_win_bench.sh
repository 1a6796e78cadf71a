#!/usr/bin/env bash
# The Windows download benchmark: a 256 MiB file from the reference mail
# server through PARVEX.OCX in parvex-page.exe with the download dialog up,
# through a bare WinSock loop of 8192-byte blocks into a Win32 file (both
# under Wine), and through parvex-cli natively. Prints the three throughputs
# and the module's ratio to the bare loop; best of two rounds each (ROUNDS= changes that).
# Needs DISPLAY and WINEPREFIX set up (./parvex bench-wine-download does that).
#   download_win_bench.sh BUILD_DIR [MIB]
set -uo pipefail
BUILD=${1:?usage: download_win_bench.sh <build dir> [MiB]}
MIB=${2:-256}
BYTES=$((MIB * 1048576))
HERE=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
source "$HERE/../../mailserver/launch.sh"
WIN="$BUILD/win"
NATIVE="$BUILD/native"
if [ -d /dev/shm ] && [ "$(df -Pk /dev/shm | awk 'NR==2 {print $4}')" -gt $((BYTES / 1024 * 3 + 200000)) ]; then
    WORK=$(mktemp -d /dev/shm/parvex-winbench.XXXXXX)
else
    WORK=$(mktemp -d "${TMPDIR:-/tmp}/parvex-winbench.XXXXXX")
fi
OCX=$(winepath -w "$WIN/PARVEX.OCX")
SERVER_PID=""
cleanup() {
    wine regsvr32 /u /s "$OCX" >/dev/null 2>&1
    [ -n "$SERVER_PID" ] && kill "$SERVER_PID" 2>/dev/null && wait "$SERVER_PID" 2>/dev/null
    rm -rf "$WORK"
}
trap cleanup EXIT

mkdir -p "$WORK/serve" "$WORK/module" "$WORK/bare" "$WORK/cli"
head -c "$BYTES" /dev/urandom >"$WORK/serve/big.bin"
launch_mailserver "$NATIVE/parvex-mailserver" "$WORK/store" "$WORK/serve"
SERVER_PID=$LAUNCHED_PID PORT=$LAUNCHED_PORT
[ -n "$PORT" ] || { echo "the mail server did not start" >&2; exit 1; }
wine regsvr32 /s "$OCX" || { echo "registration failed" >&2; exit 1; }
wine reg add 'HKLM\SOFTWARE\Orvanta Component' /v DownSavePath /d "$(winepath -w "$WORK/module")" /f >/dev/null 2>&1
sed -e "s|@PORT@|$PORT|" -e "s|@BYTES@|$BYTES|" "$HERE/download_bench_page.js" >"$WORK/page.js"

strip() { tr -d "\r"; }
now_ms() { date +%s%3N; }
best_module="" best_bare="" best_cli=""
better() { [ -z "$1" ] || [ "$2" -lt "$1" ] && echo "$2" || echo "$1"; }
check_copy() { cmp -s "$WORK/serve/big.bin" "$1" || { echo "$2: the fetched file differs" >&2; exit 1; }; }

for round in $(seq "${ROUNDS:-2}"); do
    rm -f "$WORK/module/big.bin" "$WORK/bare/big.bin" "$WORK/cli/big.bin"
    out=$(wine "$WIN/parvex-page.exe" "$(winepath -w "$WORK/page.js")" | strip) || { echo "module run failed: $out" >&2; exit 1; }
    ms=$(printf '%s\n' "$out" | awk '$1 == "ms" {print $2}')
    check_copy "$WORK/module/big.bin" module
    best_module=$(better "$best_module" "$ms")
    [ -n "${VERBOSE:-}" ] && echo "round $round: module $ms ms"

    out=$(wine "$WIN/parvex-bare-download.exe" "$PORT" /big.bin "$(winepath -w "$WORK/bare/big.bin")" | strip) ||
        { echo "bare run failed" >&2; exit 1; }
    check_copy "$WORK/bare/big.bin" "bare loop"
    best_bare=$(better "$best_bare" "$(echo "$out" | awk '{print $2}')")
    [ -n "${VERBOSE:-}" ] && echo "round $round: bare $(echo "$out" | awk '{print $2}') ms"

    t0=$(now_ms)
    PARVEX_SETTINGS="$WORK/settings" "$NATIVE/parvex-cli" download --host "http://127.0.0.1:$PORT/" \
        --dest "$WORK/cli" /big.bin big.bin </dev/null >/dev/null 2>&1 || { echo "parvex-cli failed" >&2; exit 1; }
    t1=$(now_ms)
    check_copy "$WORK/cli/big.bin" parvex-cli
    best_cli=$(better "$best_cli" $((t1 - t0)))
done

rate() { awk -v b="$BYTES" -v ms="$1" 'BEGIN { printf "%.1f MB/s", b / 1e6 / (ms / 1000) }'; }
echo "download of $MIB MiB, best of ${ROUNDS:-2} rounds:"
echo "  module in parvex-page under Wine, dialog up: $(rate "$best_module") ($best_module ms)"
echo "  bare WinSock loop, 8192-byte blocks, under Wine: $(rate "$best_bare") ($best_bare ms)"
echo "  parvex-cli natively: $(rate "$best_cli") ($best_cli ms)"
awk -v m="$best_module" -v b="$best_bare" 'BEGIN { printf "  module / bare loop: %.2f (target 0.80 or more)\n", b / m }'
