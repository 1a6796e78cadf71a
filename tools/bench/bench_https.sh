# shellcheck shell=bash
# The https rows of ./parvex bench, sourced by bench.sh (whose variables and
# functions they use). Natively parvex-cli against curl, both trusting the
# test authority (SSL_CERT_FILE, --cacert); under Wine the module in
# parvex-page.exe against parvex-bare-tls.exe, the plainest blocking loop
# over SChannel batched as the module batches, with the test authority in the
# prefix's machine root store for the run only. Uploads go to the same sink
# as the plain rows (it answers TLS on the same port), downloads come from
# the same nginx on a TLS port of its own; the certificate is the test PKI's
# localhost one, the URLs name localhost.

PKI="$BUILD/pki"

# Whether a side of the table runs: ONLY names one (native, wine,
# https-native, https-wine) or both of https (https); empty runs all.
runs() { [ -z "$ONLY" ] || [ "$ONLY" = "$1" ] || [ "$ONLY" = "${1%%-*}" ]; }
runs_https() { runs https-native || runs https-wine; }

# The test certificates, made once in the build tree; the sink's arguments
# for answering TLS with them.
SINK_TLS=()
make_https_pki() {
    runs_https || return 0
    bash "$ROOT/tools/mailserver/make_test_pki.sh" "$PKI" || fail "the test certificates could not be made"
    SINK_TLS=("$PKI/localhost.pem" "$PKI/server.key")
}

# nginx's TLS server on PORT, serving the same folder as the plain one.
nginx_https_server() {
    runs_https || return 0
    cat <<CONF
    server {
        listen 127.0.0.1:$1 ssl;
        ssl_certificate $PKI/localhost.pem;
        ssl_certificate_key $PKI/server.key;
        ssl_protocols TLSv1.2 TLSv1.3;
        root $WORK/serve;
    }
CONF
}

# The native rows: parvex-bench over https, its clients named https-*.
https_native_rows() {
    "$NATIVE/parvex-bench" --file "$WORK/serve/native.bin" --upload-url "https://localhost:$SINK_PORT/upload" \
        --download-url "https://localhost:$NGINX_TLS_PORT/native.bin" --out "$WORK/out" --runs "$RUNS" \
        --https-ca "$PKI/ca.pem"
}

# The Wine contenders, for bench.sh's loop; each runner prints the
# milliseconds of one run, or fails.
https_wine_contenders() {
    runs https-wine || return 0
    trust_test_ca "$WIN" "$PKI" || fail "the test authority was not trusted"
    UP_PAGE_TLS=$(page_of upload_bench_page.js "https://localhost:$SINK_PORT" upload_tls_page.js)
    DN_PAGE_TLS=$(page_of download_bench_page.js "https://localhost:$NGINX_TLS_PORT" download_tls_page.js)
    CONTENDERS+=("upload https-module module_upload_tls" "upload https-bare bare_tls_upload"
                 "download https-module module_download_tls" "download https-bare bare_tls_download")
}
module_upload_tls() { upload_page_ms "$UP_PAGE_TLS"; }
module_download_tls() { download_page_ms "$DN_PAGE_TLS"; }
bare_tls_upload() {
    timeout 600 wine "$WIN/parvex-bare-tls.exe" upload "$SINK_PORT" localhost "$WFILE" "$BLOCK" | tr -d '\r' |
        awk '{print $2}'
}
bare_tls_download() {
    rm -f "$WORK/bare/wine.bin"
    local ms
    ms=$(timeout 600 wine "$WIN/parvex-bare-tls.exe" download "$NGINX_TLS_PORT" localhost /wine.bin "$BARE_OUT" \
        "$BLOCK" | tr -d '\r' | awk '{print $2}')
    cmp -s "$WORK/serve/wine.bin" "$WORK/bare/wine.bin" && echo "$ms"
}
