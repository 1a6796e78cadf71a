#!/usr/bin/env bash
# The upload list's DeleteFile on many ticked rows, as a page meets it: the
# page tests/page/delete_many.js in parvex-page.exe fills the list from a
# dropped folder of ROWS files (10000), ticks every row but two and times the
# one DeleteFile. Prints the median of RUNS (3) runs; the page itself checks
# that the totals are exact. Filling the list takes a minute or two a run.
#   bench_rows.sh <build dir>     (./parvex bench with ONLY=rows)
set -uo pipefail
BUILD=${1:?usage: bench_rows.sh <build dir>}
ROWS=${ROWS:-10000}
RUNS=${RUNS:-3}
ROOT=$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)
PAGES="$ROOT/tests/page"
WORK=$(mktemp -d "${TMPDIR:-/tmp}/parvex-rows.XXXXXX")
OCX=$(winepath -w "$BUILD/win/PARVEX.OCX")
cleanup() { wine regsvr32 /u /s "$OCX" >/dev/null 2>&1; rm -rf "$WORK"; }
trap cleanup EXIT

mkdir -p "$WORK/files/many" "$WORK/screens"
head -c 1000 /dev/zero >"$WORK/files/a.txt"
head -c 2097152 /dev/zero >"$WORK/files/big.bin"
for i in $(seq 0 $((ROWS - 1))); do printf '%*s' $((i % 1000 + 1)) '' >"$WORK/files/many/f$i.txt"; done
win_sed() { winepath -w "$1" | sed 's/\\/\\\\\\\\/g'; }
bash "$PAGES/make_ids.sh" || exit 1
cat "$PAGES/ids.js" "$PAGES/common.js" "$PAGES/delete_many.js" |
    sed -e "s|@FILES@|$(win_sed "$WORK/files")|" -e "s|@SCREENS@|$(win_sed "$WORK/screens")|" \
        -e "s|@SAVE@|$(win_sed "$WORK")|" -e "s|@ROWS@|$ROWS|" -e "s|@PORT@|0|" >"$WORK/page.js"
wine regsvr32 /s "$OCX" || { echo "bench_rows: PARVEX.OCX could not be registered" >&2; exit 1; }

times=()
for run in $(seq "$RUNS"); do
    out=$(timeout 900 wine "$BUILD/win/parvex-page.exe" "$(winepath -w "$WORK/page.js")" | tr -d '\r')
    ms=$(printf '%s\n' "$out" | sed -n 's/^DeleteFile: .* removed in \([0-9]*\) ms$/\1/p')
    if [ -z "$ms" ] || ! printf '%s\n' "$out" | grep -q '^page passed$'; then
        echo "bench_rows: run $run failed: $out" >&2
        exit 1
    fi
    times+=("$ms")
done
median=$(printf '%s\n' "${times[@]}" | sort -n | awk '{v[NR] = $1} END {print v[int((NR + 1) / 2)]}')
echo "./parvex bench ONLY=rows, $(date -u '+%Y-%m-%d %H:%M UTC'), load $(cut -d' ' -f1-3 /proc/loadavg)"
echo "wine  DeleteFile of $((ROWS + 2)) ticked rows of $((ROWS + 4)) in parvex-page: median ${median} ms of $RUNS runs (${times[*]}); target < 2000 ms: $([ "$median" -lt 2000 ] && echo met || echo NOT MET)"
