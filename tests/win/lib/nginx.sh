# A configuration for nginx as one foreground process whose pid, logs
# (DIR/logs) and temporary folders (DIR/tmp) all stay in DIR, for the
# scripts that start their own nginx without root. Sourced.

# nginx_conf DIR HTTP: writes DIR/nginx.conf; HTTP is what goes inside its
# http block besides the paths (settings and server blocks).
nginx_conf() {
    mkdir -p "$1/logs" "$1/tmp"
    cat >"$1/nginx.conf" <<CONF
daemon off;
master_process off;
worker_processes 1;
pid $1/nginx.pid;
error_log $1/logs/error.log;
events { worker_connections 64; }
http {
    access_log off;
    client_body_temp_path $1/tmp/body;
    proxy_temp_path $1/tmp/proxy;
    fastcgi_temp_path $1/tmp/fastcgi;
    uwsgi_temp_path $1/tmp/uwsgi;
    scgi_temp_path $1/tmp/scgi;
$2
}
CONF
}
