#!/usr/bin/env bash
# The WAN rows of ./parvex bench (ONLY=wan): the same contenders as the
# loopback rows, over an emulated wide-area link. Two network namespaces of
# this script's own are joined only by parvex-linkemu (a user-space link
# between a TUN device in each: bandwidth, round trip, loss, jitter; the
# kernel has no netem). The peers (parvex-sink, nginx) run in the server
# namespace; the clients (the module in parvex-page and the bare WinSock loop
# under a Wine server of that namespace, parvex-cli and curl) in the client
# one. Per profile: uploads and downloads of one file by each, and on the
# lossy profile four files in one call, every figure the median of RUNS runs
# taken in turn, with the sender's TCP retransmissions (RetransSegs) and
# refused retransmissions (TCPWqueueTooBig: the send queue was over twice
# the send buffer) summed over its runs. Uploads are timed by the sink alike
# for every client (accept to answer); downloads by each client (the module:
# the press of its start button to the run's end).
#   bench_wan.sh BUILD_DIR   (RUNS=3; WAN_PROFILES="clean lossy slow" picks
#                             profiles by name). Needs root, DISPLAY and
#                             WINEPREFIX (./parvex bench sets them up).
set -uo pipefail
BUILD=${1:?usage: bench_wan.sh <build dir>}
RUNS=${RUNS:-3}
HERE=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
source "$HERE/bench_paths.sh"
# name, Mbit/s, round trip ms, loss %, jitter ms, MiB per file
ALL_PROFILES=("clean 100 20 0 0 64" "lossy 50 80 0.5 0 64" "slow 10 150 1 10 16")
WAN_PROFILES=${WAN_PROFILES:-clean lossy slow}
FILES=4 FILES_MIB=8  # the several-files row, on the lossy profile
source "$ROOT/tests/win/lib/nginx.sh"

fail() { echo "bench_wan: $*" >&2; exit 1; }
[ "$(id -u)" = 0 ] || fail "needs root for its network namespaces"
for tool in parvex-linkemu parvex-sink parvex-cli; do [ -x "$NATIVE/$tool" ] || fail "$NATIVE/$tool is missing"; done

NS_C="parvex-wan-client-$$" NS_S="parvex-wan-server-$$"
CLIENT_IP=10.77.0.1 SERVER_IP=10.77.0.2
WORK=$(mktemp -d /dev/shm/parvex-wan.XXXXXX 2>/dev/null || mktemp -d "${TMPDIR:-/tmp}/parvex-wan.XXXXXX")
EMU_PID="" SINK_PID="" NGINX_PID="" OCX=""
inc() { ip netns exec "$NS_C" "$@"; }  # in the client namespace

stop_link() {
    for pid in $SINK_PID $NGINX_PID $EMU_PID; do kill "$pid" 2>/dev/null && wait "$pid" 2>/dev/null; done
    SINK_PID="" NGINX_PID="" EMU_PID=""
}
cleanup() {
    [ -n "$OCX" ] && inc wine regsvr32 /u /s "$OCX" >/dev/null 2>&1
    # The Wine server of the client namespace goes with it.
    wineserver -k >/dev/null 2>&1
    stop_link
    ip netns del "$NS_C" 2>/dev/null
    ip netns del "$NS_S" 2>/dev/null
    rm -rf "$WORK"
}
trap cleanup EXIT

# --- the link and its peers ---------------------------------------------------
# start_link RATE RTT LOSS JITTER: the emulator, the addresses, the sink and
# nginx on the server's address.
start_link() {
    rm -f "$WORK/link.ready" "$WORK/sink.port"
    "$NATIVE/parvex-linkemu" "/var/run/netns/$NS_C" wan0 "/var/run/netns/$NS_S" wan0 "$@" "$WORK/link.ready" \
        2>>"$WORK/linkemu.log" &
    EMU_PID=$!
    for _ in $(seq 50); do [ -s "$WORK/link.ready" ] && break; sleep 0.1; done
    [ -s "$WORK/link.ready" ] || fail "the link emulator did not start: $(cat "$WORK/linkemu.log")"
    ip -n "$NS_C" addr add "$CLIENT_IP" peer "$SERVER_IP" dev wan0 && ip -n "$NS_C" link set wan0 up &&
        ip -n "$NS_S" addr add "$SERVER_IP" peer "$CLIENT_IP" dev wan0 && ip -n "$NS_S" link set wan0 up ||
        fail "the link's addresses could not be set"
    # Started by ip itself, not by a function's subshell: $! is then the
    # server, which stop_link ends.
    PARVEX_SINK_ADDRESS=$SERVER_IP ip netns exec "$NS_S" "$NATIVE/parvex-sink" "$WORK/sink.port" "$WORK/sink.spans" &
    SINK_PID=$!
    local prefix="$WORK/nginx"
    NGINX_PORT=8080
    nginx_conf "$prefix" "    sendfile on;
    tcp_nopush on;
    default_type application/octet-stream;
    server { listen $SERVER_IP:$NGINX_PORT; root $WORK/serve; }"
    ip netns exec "$NS_S" nginx -p "$prefix" -c "$prefix/nginx.conf" 2>>"$prefix/logs/start.log" &
    NGINX_PID=$!
    for _ in $(seq 100); do
        [ -s "$WORK/sink.port" ] && inc curl -sf -o /dev/null "http://$SERVER_IP:$NGINX_PORT/probe" && break
        sleep 0.1
    done
    SINK_PORT=$(cat "$WORK/sink.port" 2>/dev/null)
    [ -n "$SINK_PORT" ] || fail "the sink did not start"
    inc curl -sf -o /dev/null "http://$SERVER_IP:$NGINX_PORT/probe" || fail "nginx did not start (see $prefix/logs)"
}

# "retransmitted refused": the TCP counters of a namespace.
tcp_counters() {
    ip netns exec "$1" awk '
        $1 == "Tcp:" { if (!tcp) { for (i = 2; i <= NF; i++) tcpcol[$i] = i; tcp = 1 } else r = $tcpcol["RetransSegs"] }
        $1 == "TcpExt:" { if (!ext) { for (i = 2; i <= NF; i++) extcol[$i] = i; ext = 1 } else w = $extcol["TCPWqueueTooBig"] }
        END { print r + 0, w + 0 }' /proc/net/snmp /proc/net/netstat
}

# --- the contenders -------------------------------------------------------------
# Each prints the milliseconds of one run, or nothing when it failed.
wire_ms() {  # spans-before bytes: the sink's span of the one upload since
    # The sink writes it once the client's close has crossed the link.
    for _ in $(seq 100); do
        [ "$(cat "$WORK/sink.spans" 2>/dev/null | wc -l)" -gt "$1" ] && break
        sleep 0.1
    done
    tail -n +"$(($1 + 1))" "$WORK/sink.spans" 2>/dev/null |
        awk -v b="$2" 'NF == 2 && $1 >= b {n++; ms = $2} END {if (n == 1) print ms}'
}
page_ms() { timeout 900 ip netns exec "$NS_C" wine "$WIN/parvex-page.exe" "$1" | tr -d '\r' | awk '$1 == "ms" {print $2}'; }
now_ms() { echo $(($(date +%s%N) / 1000000)); }
timed() {  # command...: its milliseconds when it succeeded
    local start
    start=$(now_ms)
    "$@" >/dev/null 2>>"$WORK/clients.log" && echo $(($(now_ms) - start))
}
same_files() {  # folder names...: every one arrived whole
    local name
    for name in "${@:2}"; do cmp -s "$WORK/serve/$name" "$1/$name" || return 1; done
}
UPLOAD_URL() { echo "http://$SERVER_IP:$SINK_PORT/upload"; }

up_module() { page_ms "$UP_PAGE" >/dev/null; }
up_bare() { timeout 900 env PARVEX_BENCH_HOST=$SERVER_IP ip netns exec "$NS_C" wine "$WIN/parvex-bare-upload.exe" "$SINK_PORT" "$WFILE" "$BLOCK" >/dev/null; }
up_cli() {
    inc "$NATIVE/parvex-cli" upload --url "$(UPLOAD_URL)" --fields name,unique,file --title bench "$WORK/serve/$NAME" \
        >/dev/null 2>>"$WORK/clients.log"
}
up_curl() { inc curl -s -f -o /dev/null -F "file=@$WORK/serve/$NAME" "$(UPLOAD_URL)" 2>>"$WORK/clients.log"; }

dn_module() {
    rm -rf "$WORK/module" && mkdir -p "$WORK/module"
    local ms
    ms=$(page_ms "$1")
    same_files "$WORK/module" "${@:2}" && echo "$ms"
}
dn_bare() {
    rm -rf "$WORK/bare" && mkdir -p "$WORK/bare"
    local ms
    ms=$(timeout 900 env PARVEX_BENCH_HOST=$SERVER_IP ip netns exec "$NS_C" wine "$WIN/parvex-bare-download.exe" \
        "$NGINX_PORT" "/$NAME" "$(winepath -w "$WORK/bare/$NAME")" "$BLOCK" | tr -d '\r' | awk '{print $2}')
    same_files "$WORK/bare" "$NAME" && echo "$ms"
}
dn_cli() {  # names...
    rm -rf "$WORK/cli" && mkdir -p "$WORK/cli"
    local args=() name ms
    for name in "$@"; do args+=("/$name" "$name"); done
    ms=$(PARVEX_SETTINGS="$WORK/settings" timed inc "$NATIVE/parvex-cli" download \
        --host "http://$SERVER_IP:$NGINX_PORT/" --dest "$WORK/cli" "${args[@]}")
    same_files "$WORK/cli" "$@" && echo "$ms"
}
dn_curl() {  # names...: one call, as curl keeps its connection between them
    rm -rf "$WORK/curl" && mkdir -p "$WORK/curl"
    local args=() name ms
    for name in "$@"; do args+=(-o "$WORK/curl/$name" "http://$SERVER_IP:$NGINX_PORT/$name"); done
    ms=$(timed inc curl -s -f "${args[@]}")
    same_files "$WORK/curl" "$@" && echo "$ms"
}

# run_contender PROFILE KIND WHO SENDER-NS command...: one run, its figures
# appended to the results (profile kind who ms retransmitted refused).
run_contender() {
    local profile=$1 kind=$2 who=$3 sender=$4 before after spans ms
    shift 4
    before=$(tcp_counters "$sender")
    spans=$(cat "$WORK/sink.spans" 2>/dev/null | wc -l)
    if [ "$kind" = upload ]; then
        "$@" && ms=$(wire_ms "$spans" "$BYTES")
    else
        ms=$("$@")
    fi
    after=$(tcp_counters "$sender")
    if [ -z "${ms:-}" ]; then
        echo "bench_wan: $profile $kind $who: a run failed" >&2
        FAILED=1
        return
    fi
    set -- $before $after
    printf '%s\t%s\t%s\t%s\t%s\t%s\n' "$profile" "$kind" "$who" "$ms" $(($3 - $1)) $(($4 - $2)) >>"$RESULTS"
}

page_of() {  # template output names... (the page's files, BASE the server)
    local template=$1 out=$2 names
    shift 2
    names="$*"
    sed -e "s|@BASE@|$BASE|g" -e "s|@FILE@|$(winepath -w "$WORK/serve/$NAME" | sed 's/\\/\\\\\\\\/g')|" \
        -e "s|@LIMIT_MB@|$((MIB * 2 + 1))|g" -e "s|@NAME@|$names|g" -e "s|@BYTES@|$BYTES|g" \
        "$HERE/wine/$template" >"$WORK/$out"
    winepath -w "$WORK/$out"
}

# --- the runs ----------------------------------------------------------------------
ip netns add "$NS_C" && ip netns add "$NS_S" || fail "the network namespaces could not be made"
ip -n "$NS_C" link set lo up && ip -n "$NS_S" link set lo up
mkdir -p "$WORK/serve"
: >"$WORK/serve/probe"
RESULTS="$WORK/results.tsv"
: >"$RESULTS"
FAILED=0
# The module's Wine server must be one of the client namespace: it owns the
# sockets. Any other of this prefix ends first; this one stays until the end,
# so that every Wine call (winepath too) meets it.
wineserver -k >/dev/null 2>&1
wineserver -w >/dev/null 2>&1
inc wineserver -p || fail "no Wine server could be started"
OCX=$(winepath -w "$WIN/PARVEX.OCX")
inc wine regsvr32 /s "$OCX" || fail "PARVEX.OCX could not be registered"
inc wine reg add 'HKLM\SOFTWARE\Orvanta Component' /v DownSavePath /d "$(winepath -w "$WORK/module")" /f >/dev/null 2>&1
SPECS=()
for spec in "${ALL_PROFILES[@]}"; do
    for wanted in $WAN_PROFILES; do [ "${spec%% *}" = "$wanted" ] && SPECS+=("$spec"); done
done
for spec in "${SPECS[@]}"; do
    set -- $spec
    PROFILE=$1 MIB=$6 NAME="wan-$6.bin" BYTES=$(($6 * 1048576))
    [ -f "$WORK/serve/$NAME" ] || head -c "$BYTES" /dev/urandom >"$WORK/serve/$NAME"
    start_link "$2" "$3" "$4" "$5"
    BASE="http://$SERVER_IP:$SINK_PORT" UP_PAGE=$(page_of upload_bench_page.js up.js "$NAME")
    BASE="http://$SERVER_IP:$NGINX_PORT" DN_PAGE=$(page_of download_bench_page.js dn.js "$NAME")
    WFILE=$(winepath -w "$WORK/serve/$NAME")
    SEVERAL=()
    if [ "$PROFILE" = lossy ]; then
        for i in $(seq "$FILES"); do
            SEVERAL+=("files-$i.bin")
            [ -f "$WORK/serve/files-$i.bin" ] || head -c $((FILES_MIB * 1048576)) /dev/urandom >"$WORK/serve/files-$i.bin"
        done
        BASE="http://$SERVER_IP:$NGINX_PORT" BYTES_SAVED=$BYTES
        BYTES=$((FILES_MIB * 1048576)) FILES_PAGE=$(page_of download_bench_page.js files.js "${SEVERAL[@]}")
        BYTES=$BYTES_SAVED
    fi
    for run in $(seq "$RUNS"); do
        run_contender "$PROFILE" upload module "$NS_C" up_module
        run_contender "$PROFILE" upload bare-block "$NS_C" up_bare
        run_contender "$PROFILE" upload parvex-cli "$NS_C" up_cli
        run_contender "$PROFILE" upload curl "$NS_C" up_curl
        run_contender "$PROFILE" download module "$NS_S" dn_module "$DN_PAGE" "$NAME"
        run_contender "$PROFILE" download bare-block "$NS_S" dn_bare
        run_contender "$PROFILE" download parvex-cli "$NS_S" dn_cli "$NAME"
        run_contender "$PROFILE" download curl "$NS_S" dn_curl "$NAME"
        if [ ${#SEVERAL[@]} -gt 0 ]; then
            run_contender "$PROFILE" files module "$NS_S" dn_module "$FILES_PAGE" "${SEVERAL[@]}"
            run_contender "$PROFILE" files parvex-cli "$NS_S" dn_cli "${SEVERAL[@]}"
            run_contender "$PROFILE" files curl "$NS_S" dn_curl "${SEVERAL[@]}"
        fi
    done
    stop_link
done

# --- the table ---------------------------------------------------------------------
echo "./parvex bench ONLY=wan, $(date -u '+%Y-%m-%d %H:%M UTC'), $(nproc) CPUs, load $(cut -d' ' -f1-3 /proc/loadavg)"
echo "median of $RUNS runs each, taken in turn; module block $((BLOCK / 1024)) KiB; $(ip netns exec "$NS_C" sysctl -n net.ipv4.tcp_congestion_control) congestion control"
echo "uploads timed by the sink (accept to answer), downloads by each client; retransmitted and refused (TCPWqueueTooBig) segments of the sender, all runs"
for spec in "${SPECS[@]}"; do
    set -- $spec
    printf 'profile %-6s %s Mbit/s, %s ms round trip, %s %% loss, %s ms jitter, %s MiB\n' "$@"
    echo "$1 $6" >>"$WORK/mib"
done
awk -F'\t' -v files="$FILES" -v fmib="$FILES_MIB" '
    FNR == NR { split($0, f, " "); mib[f[1]] = f[2]; next }
    function median(list,   v, n, i, j, t) {
        n = split(list, v, " ")
        for (i = 1; i <= n; i++) for (j = i + 1; j <= n; j++) if (v[j] + 0 < v[i] + 0) { t = v[i]; v[i] = v[j]; v[j] = t }
        if (n == 0) return 0
        return (n % 2 ? v[(n + 1) / 2] : (v[n / 2] + v[n / 2 + 1]) / 2)
    }
    function most(list,   v, n, i, m) { n = split(list, v, " "); m = 0; for (i = 1; i <= n; i++) if (v[i] + 0 > m) m = v[i] + 0; return m }
    { key = $1 " " $2 " " $3
      if (!(key in ms)) order[++n] = key
      ms[key] = ms[key] " " $4; re[key] += $5; refused[key] += $6 }
    function rate(key,   p, m, k) {
        split(key, k, " ")
        m = median(ms[key])
        return (m > 0 ? (k[2] == "files" ? files * fmib : mib[k[1]]) * 1000 / m : 0)
    }
    function check(what, r0, r1, target,   r, ok) {
        r = (r1 > 0 ? r0 / r1 : 0)
        ok = r >= target && r0 > 0
        printf "  %-58s %6.2f  (target >= %.2f) %s\n", what, r, target, (ok ? "met" : "NOT MET")
        return ok
    }
    END {
        printf "%-7s %-9s %-12s %9s %24s %10s %8s\n", "profile", "direction", "client", "MiB/s", "runs (s)", "retrans", "refused"
        for (i = 1; i <= n; i++) {
            k = order[i]; split(k, p, " ")
            runs = ""
            c = split(ms[k], v, " ")
            for (j = 1; j <= c; j++) runs = runs sprintf("%s%.1f", j > 1 ? " " : "", v[j] / 1000)
            printf "%-7s %-9s %-12s %9.2f %24s %10d %8d\n", p[1], p[2], p[3], rate(k), runs, re[k], refused[k]
        }
        all = 1
        for (pr in mib) {
            if (pr == "clean") continue
            m = pr " upload module"; b = pr " upload bare-block"
            all = check(pr ": upload, module / bare loop", rate(m), rate(b), 0.95) && all
            slowest = most(ms[b]); worst = most(ms[m])
            ok = worst > 0 && slowest > 0 && worst <= 1.25 * slowest
            printf "  %-58s %6.2f  (target <= 1.25) %s\n", pr ": slowest module run / slowest loop run", (slowest > 0 ? worst / slowest : 0), (ok ? "met" : "NOT MET")
            all = ok && all
            all = check(pr ": upload, parvex-cli / curl", rate(pr " upload parvex-cli"), rate(pr " upload curl"), 0.95) && all
            if ((pr " files curl") in ms)
                all = check(pr ": " files " x " fmib " MiB downloads, parvex-cli / curl", rate(pr " files parvex-cli"), rate(pr " files curl"), 0.95) && all
        }
        printf "targets: %s\n", (all ? "all met" : "NOT all met")
    }' "$WORK/mib" "$RESULTS"
exit "$FAILED"
