# The reference mail server for shell scripts, on a free loopback port.
# Sourced by ./parvex, the page tests and the Windows download benchmark.

# launch_mailserver BINARY STORE [SERVE [OPTION...]]: starts the server
# (uploads stored in STORE, downloads served from SERVE, or from STORE without
# it; further options as the server takes them, e.g. --listen ::1 or
# --tls-cert FILE --tls-key FILE) and sets LAUNCHED_PID and LAUNCHED_PORT;
# fails when no port was told in 5 s.
launch_mailserver() {
    local binary=$1 store=$2 serve=${3:-$2} portfile
    shift $(($# < 3 ? $# : 3))
    portfile=$(mktemp "${TMPDIR:-/tmp}/parvex-port.XXXXXX") && rm -f "$portfile"
    "$binary" --port 0 --port-file "$portfile" --store "$store" --serve "$serve" "$@" >/dev/null 2>&1 &
    LAUNCHED_PID=$!
    for _ in $(seq 100); do [ -s "$portfile" ] && break; sleep 0.05; done
    LAUNCHED_PORT=$(cat "$portfile" 2>/dev/null)
    rm -f "$portfile"
    [ -n "$LAUNCHED_PORT" ]
}
