#!/usr/bin/env bash
# The benchmark of ./parvex bench, one table:
#   natively, parvex-cli against curl: an upload to parvex-sink (a C program
#   that only reads) and a download from nginx, with peak memory;
#   under Wine, the module in parvex-page.exe (a page script, its dialog up)
#   against bare WinSock loops of 8 KiB and of the module's own block size,
#   to the same sink and from the same nginx.
# Each client times its own span: parvex-cli and curl their whole process;
# the module the page's wait (UploadStart's call, the dialog's opening and
# closing included; or the press of the start button on the drawn dialog to
# the first look of the page's timer that finds the run ended); the bare
# loops the connection, the transfer and the reply. For uploads the sink also
# times every client alike, from accepting the connection to sending its
# answer (the "wire" column); the Wine upload targets are judged on that span.
# The https rows (bench_https.sh) measure the same over TLS: natively the same
# two clients, under Wine the module against a bare SChannel loop.
# Every figure is the median of RUNS runs, the contenders taken in turn.
# Needs DISPLAY and WINEPREFIX set up (./parvex bench does that).
#   bench.sh BUILD_DIR   (NATIVE_MIB=1024 WINE_MIB=256 RUNS=7 change the sizes;
#                         ONLY=native, wine, https-native or https-wine runs
#                         those rows alone, ONLY=https both https sides)
set -uo pipefail
BUILD=${1:?usage: bench.sh <build dir>}
NATIVE_MIB=${NATIVE_MIB:-1024}
WINE_MIB=${WINE_MIB:-256}
RUNS=${RUNS:-7}
ONLY=${ONLY:-}
HERE=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
source "$HERE/bench_paths.sh"
source "$HERE/../../tests/win/lib/test_ca.sh"
source "$HERE/../../tests/win/lib/nginx.sh"
source "$HERE/bench_https.sh"

# Files in memory when there is room, so that no disk sets the pace.
room=$(((NATIVE_MIB * 3 + WINE_MIB * 4) * 1024 + 262144))
if [ "$(df -Pk /dev/shm 2>/dev/null | awk 'NR==2 {print $4}')" -gt "$room" ] 2>/dev/null; then
    WORK=$(mktemp -d /dev/shm/parvex-bench.XXXXXX) WHERE=tmpfs
else
    mkdir -p "$BUILD/bench" && WORK=$(mktemp -d "$BUILD/bench/work.XXXXXX") WHERE="disk"
fi
SINK_PID="" NGINX_PID="" OCX=""
cleanup() {
    untrust_test_ca
    [ -n "$OCX" ] && wine regsvr32 /u /s "$OCX" >/dev/null 2>&1
    for pid in $SINK_PID $NGINX_PID; do kill "$pid" 2>/dev/null && wait "$pid" 2>/dev/null; done
    rm -rf "$WORK"
}
trap cleanup EXIT
fail() { echo "bench: $*" >&2; exit 1; }

# --- the peers ----------------------------------------------------------------
start_sink() {
    "$NATIVE/parvex-sink" "$WORK/sink.port" "$WORK/sink.spans" "${SINK_TLS[@]}" &
    SINK_PID=$!
    for _ in $(seq 100); do [ -s "$WORK/sink.port" ] && break; sleep 0.05; done
    SINK_PORT=$(cat "$WORK/sink.port" 2>/dev/null)
    [ -n "$SINK_PORT" ] || fail "the sink did not start"
}

# nginx with a configuration and prefix of its own in the build tree, in the
# foreground as one process, on a free loopback port (tried until one is).
start_nginx() {
    local prefix="$BUILD/bench/nginx" port
    for _ in $(seq 20); do
        port=$((20000 + RANDOM % 40000))
        nginx_conf "$prefix" "    sendfile on;
    tcp_nopush on;
    default_type application/octet-stream;
    server {
        listen 127.0.0.1:$port;
        root $WORK/serve;
    }
$(nginx_https_server $((port + 1)))"
        nginx -p "$prefix" -c "$prefix/nginx.conf" 2>>"$prefix/logs/start.log" &
        NGINX_PID=$!
        for _ in $(seq 50); do
            if curl -sf -o /dev/null "http://127.0.0.1:$port/probe"; then
                NGINX_PORT=$port NGINX_TLS_PORT=$((port + 1))
                return 0
            fi
            kill -0 "$NGINX_PID" 2>/dev/null || break
            sleep 0.1
        done
        kill "$NGINX_PID" 2>/dev/null && wait "$NGINX_PID" 2>/dev/null
        NGINX_PID=""
    done
    fail "nginx did not start (see $prefix/logs)"
}

mkdir -p "$WORK/serve" "$WORK/out" "$WORK/module" "$WORK/bare"
{ runs native || runs https-native; } && head -c $((NATIVE_MIB * 1048576)) /dev/urandom >"$WORK/serve/native.bin"
{ runs wine || runs https-wine; } && head -c $((WINE_MIB * 1048576)) /dev/urandom >"$WORK/serve/wine.bin"
: >"$WORK/serve/probe"
make_https_pki
start_sink
start_nginx
RESULTS="$WORK/results.tsv"
: >"$RESULTS"
failed=0

# --- natively ----------------------------------------------------------------
if runs native; then
    "$NATIVE/parvex-bench" --file "$WORK/serve/native.bin" --upload-url "http://127.0.0.1:$SINK_PORT/upload" \
        --download-url "http://127.0.0.1:$NGINX_PORT/native.bin" --out "$WORK/out" --runs "$RUNS" >>"$RESULTS" || failed=1
fi
if runs https-native; then https_native_rows >>"$RESULTS" || failed=1; fi
rm -rf "$WORK/out"

# --- under Wine ----------------------------------------------------------------
OCX=$(winepath -w "$WIN/PARVEX.OCX")
wine regsvr32 /s "$OCX" || fail "PARVEX.OCX could not be registered"
wine reg add 'HKLM\SOFTWARE\Orvanta Component' /v DownSavePath /d "$(winepath -w "$WORK/module")" /f >/dev/null 2>&1
WFILE=$(winepath -w "$WORK/serve/wine.bin")
WBYTES=$((WINE_MIB * 1048576))
page_of() {  # template, the server's scheme://host:port, [output name]
    local out=${3:-$1}
    sed -e "s|@BASE@|$2|g" -e "s|@FILE@|$(printf '%s' "$WFILE" | sed 's/\\/\\\\\\\\/g')|" \
        -e "s|@LIMIT_MB@|$((WINE_MIB * 2))|g" -e "s|@NAME@|wine.bin|g" -e "s|@BYTES@|$WBYTES|g" \
        "$HERE/wine/$1" >"$WORK/$out"
    winepath -w "$WORK/$out"
}
UP_PAGE=$(page_of upload_bench_page.js "http://127.0.0.1:$SINK_PORT")
DN_PAGE=$(page_of download_bench_page.js "http://127.0.0.1:$NGINX_PORT")
BARE_OUT=$(winepath -w "$WORK/bare/wine.bin")

# Each runner prints the milliseconds of one run, or fails.
upload_page_ms() { timeout 600 wine "$WIN/parvex-page.exe" "$1" | tr -d '\r' | awk '$1 == "ms" {print $2}'; }
download_page_ms() {
    rm -f "$WORK/module/wine.bin"
    local ms
    ms=$(timeout 600 wine "$WIN/parvex-page.exe" "$1" | tr -d '\r' | awk '$1 == "ms" {print $2}')
    cmp -s "$WORK/serve/wine.bin" "$WORK/module/wine.bin" && echo "$ms"
}
module_upload() { upload_page_ms "$UP_PAGE"; }
module_download() { download_page_ms "$DN_PAGE"; }
bare_upload() { timeout 600 wine "$WIN/parvex-bare-upload.exe" "$SINK_PORT" "$WFILE" "$1" | tr -d '\r' | awk '{print $2}'; }
bare_download() {
    rm -f "$WORK/bare/wine.bin"
    local ms
    ms=$(timeout 600 wine "$WIN/parvex-bare-download.exe" "$NGINX_PORT" /wine.bin "$BARE_OUT" "$1" | tr -d '\r' |
        awk '{print $2}')
    cmp -s "$WORK/serve/wine.bin" "$WORK/bare/wine.bin" && echo "$ms"
}
CONTENDERS=("upload module module_upload" "upload bare-8k bare_upload 8192" "upload bare-block bare_upload $BLOCK"
            "download module module_download" "download bare-8k bare_download 8192"
            "download bare-block bare_download $BLOCK")
runs wine || CONTENDERS=()
https_wine_contenders
declare -A TIMES WIRE
for run in $(seq "$RUNS"); do
    for c in "${CONTENDERS[@]}"; do
        set -- $c
        key="$1 $2" direction=$1; shift 2
        spans=$(cat "$WORK/sink.spans" 2>/dev/null | wc -l)
        ms=$("$@")
        if [ -z "$ms" ]; then echo "bench: under Wine, $key run $run failed" >&2; failed=1; continue; fi
        TIMES[$key]="${TIMES[$key]:-} $ms"
        # The sink's line for this upload: exactly one more, of the file's size.
        if [ "$direction" = upload ]; then
            wire=$(tail -n +"$((spans + 1))" "$WORK/sink.spans" | awk -v b="$WBYTES" 'NF == 2 && $1 > b {n++; ms = $2} END {if (n == 1) print ms}')
            [ -n "$wire" ] && WIRE[$key]="${WIRE[$key]:-} $wire"
        fi
    done
done
median() { tr ' ' '\n' | grep . | sort -n | awk '{v[NR] = $1} END { if (NR == 0) print 0; else if (NR % 2) print v[(NR + 1) / 2] / 1000; else print (v[NR / 2] + v[NR / 2 + 1]) / 2000 }'; }
for c in "${CONTENDERS[@]}"; do
    set -- $c
    wire=-
    [ -n "${WIRE[$1 $2]:-}" ] && wire=$(echo "${WIRE[$1 $2]}" | median)
    printf 'wine\t%s\t%s\t%s\t%s\t-\t%s\n' "$1" "$2" "$WBYTES" "$(echo "${TIMES[$1 $2]:-}" | median)" "$wire" >>"$RESULTS"
done

# --- the table -------------------------------------------------------------------
echo "./parvex bench, $(date -u '+%Y-%m-%d %H:%M UTC'), $(nproc) CPUs, load $(cut -d' ' -f1-3 /proc/loadavg), files in $WHERE"
echo "median of $RUNS runs each, taken in turn; native $NATIVE_MIB MiB, Wine $WINE_MIB MiB; module block $((BLOCK / 1024)) KiB"
ran=" "
for side in native wine https-native https-wine; do runs "$side" && ran="$ran$side "; done
awk -F'\t' -v block="$((BLOCK / 1024))" -v ran="$ran" '
    function label(side, who) {
        if (who ~ /^https-/) return "https " https_label(side, substr(who, 7))
        if (side == "native") return who == "curl" ? "curl" : "parvex-cli"
        if (who == "module") return "module in parvex-page, dialog up"
        if (who == "bare-8k") return "bare WinSock loop, 8 KiB"
        return "bare WinSock loop, " block " KiB"
    }
    function https_label(side, who) {
        if (side == "native") return who
        if (who == "module") return "module in parvex-page, dialog up"
        return "bare SChannel loop, 4 x 16 KiB"
    }
    function ran_side(name) { return index(ran, " " name " ") > 0 }
    { key = $1 " " $2 " " $3; rate[key] = $5 > 0 ? $4 / 1048576 / $5 : 0; peak[key] = $6; order[++n] = key
      wire[key] = ($7 != "" && $7 != "-" && $7 > 0) ? $4 / 1048576 / $7 : 0
      side[key] = $1; dir[key] = $2; who[key] = $3 }
    function check(what, r0, r1, target,   r) {
        r = r1 > 0 ? r0 / r1 : 0
        ok = r >= target && r0 > 0
        printf "  %-50s %6.2f  (target >= %.1f) %s\n", what, r, target, ok ? "met" : "NOT MET"
        return ok
    }
    END {
        printf "%-8s %-9s %-40s %10s %10s %10s\n", "where", "direction", "client", "MiB/s", "wire MiB/s", "peak KiB"
        for (i = 1; i <= n; i++) {
            k = order[i]
            w = wire[k] > 0 ? sprintf("%.1f", wire[k]) : "-"
            printf "%-8s %-9s %-40s %10.1f %10s %10s\n", side[k], dir[k], label(side[k], who[k]), rate[k], w, peak[k]
        }
        all = 1
        if (ran_side("native")) {
            all = check("native upload, parvex-cli / curl", rate["native upload parvex-cli"], rate["native upload curl"], 1.0) && all
            all = check("native download, parvex-cli / curl", rate["native download parvex-cli"], rate["native download curl"], 1.0) && all
        }
        if (ran_side("wine")) {
            # Uploads on the span the sink times alike for both; downloads on
            # the span each client times (for the module, its dialog included).
            m = wire["wine upload module"]
            all = check("Wine upload, module / bare " block " KiB (wire)", m, wire["wine upload bare-block"], 0.9) && all
            all = check("Wine upload, module / bare 8 KiB (wire)", m, wire["wine upload bare-8k"], 2.0) && all
            m = rate["wine download module"]
            all = check("Wine download, module / bare " block " KiB", m, rate["wine download bare-block"], 0.9) && all
            all = check("Wine download, module / bare 8 KiB", m, rate["wine download bare-8k"], 2.0) && all
        }
        if (ran_side("https-native")) {
            all = check("native https upload, parvex-cli / curl", rate["native upload https-parvex-cli"], rate["native upload https-curl"], 0.9) && all
            all = check("native https download, parvex-cli / curl", rate["native download https-parvex-cli"], rate["native download https-curl"], 0.9) && all
        }
        if (ran_side("https-wine")) {
            # Judged as the plain rows are: uploads on the span the sink times.
            all = check("Wine https upload, module / bare SChannel (wire)", wire["wine upload https-module"], wire["wine upload https-bare"], 0.8) && all
            all = check("Wine https download, module / bare SChannel", rate["wine download https-module"], rate["wine download https-bare"], 0.8) && all
        }
        for (d = 0; d < 2 && ran_side("native"); d++) {
            k = "native " (d ? "download" : "upload") " parvex-cli"
            ok = peak[k] > 0 && peak[k] < 16384
            printf "  %-50s %6s  (target < 16384) %s\n", "native " (d ? "download" : "upload") ", parvex-cli peak KiB", peak[k], ok ? "met" : "NOT MET"
            all = ok && all
        }
        printf "targets: %s\n", all ? "all met" : "NOT all met"
    }' "$RESULTS"
exit "$failed"
