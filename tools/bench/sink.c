/* parvex-sink PORT-FILE [SPAN-LOG [CERT KEY]]: the upload peer of the
 * benchmark. It takes one connection at a time on a free loopback port
 * (written to PORT-FILE; PARVEX_SINK_ADDRESS names another IPv4 address to
 * listen on, as the WAN rows do), reads the request's head and exactly Content-Length
 * bytes of body in large reads, keeps none of them, and answers with the
 * success token the uploaders look for. It does nothing else, so that it never
 * sets the pace. A request that ends before its body is complete is reported
 * on standard error and gets no answer. With SPAN-LOG, each answered upload
 * appends a line there: the body's bytes and the milliseconds from the
 * connection's acceptance to the answer, a span that is the same whoever the
 * client is. With CERT and KEY (PEM files) a connection that opens with a TLS
 * handshake is served over TLS on the same port (the handshake falls in the
 * span), its body read through OpenSSL with read-ahead. */
#define _GNU_SOURCE /* strcasestr */
#include <arpa/inet.h>
#include <netinet/in.h>
#include <signal.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <strings.h>
#include <sys/socket.h>
#include <sys/time.h>
#include <time.h>
#include <unistd.h>

#include <openssl/ssl.h>

#define HEAD_MAX 65536
#define BODY_BLOCK (1 << 20)

static const char kContinue[] = "HTTP/1.1 100 Continue\r\n\r\n";
static const char kReply[] =
    "HTTP/1.1 200 OK\r\nContent-Type: text/html\r\nContent-Length: 10\r\nConnection: close\r\n\r\n|TS_UP_OK|";

/* One accepted connection: plain when ssl is NULL. */
struct conn {
    int fd;
    SSL* ssl;
};

static ssize_t conn_recv(struct conn* c, char* p, size_t n) {
    if (!c->ssl) return recv(c->fd, p, n, 0);
    size_t got = 0;
    return SSL_read_ex(c->ssl, p, n, &got) == 1 ? (ssize_t)got : -1;
}

static int send_all(struct conn* c, const char* p, size_t n) {
    while (n > 0) {
        size_t written = 0;
        ssize_t k = -1;
        if (c->ssl)
            k = SSL_write_ex(c->ssl, p, n, &written) == 1 ? (ssize_t)written : -1;
        else
            k = send(c->fd, p, n, MSG_NOSIGNAL);
        if (k <= 0) return -1;
        p += k;
        n -= (size_t)k;
    }
    return 0;
}

/* The value of a header field in head (NUL-terminated), or NULL. */
static const char* field(const char* head, const char* name) {
    size_t len = strlen(name);
    for (const char* line = strstr(head, "\r\n"); line && line[2] != '\r'; line = strstr(line + 2, "\r\n")) {
        if (strncasecmp(line + 2, name, len) == 0 && line[2 + len] == ':') return line + 3 + len;
    }
    return NULL;
}

static double now_ms(void) {
    struct timespec t;
    clock_gettime(CLOCK_MONOTONIC, &t);
    return t.tv_sec * 1000.0 + t.tv_nsec / 1e6;
}

/* The body's bytes once the answer is sent (*answered: when), else 0. */
static unsigned long long serve(struct conn* c, char* block, double* answered) {
    static char head[HEAD_MAX + 1];
    size_t used = 0;
    char* end = NULL;
    while (!end) {
        if (used == HEAD_MAX) return 0;
        ssize_t n = conn_recv(c, head + used, HEAD_MAX - used);
        if (n <= 0) return 0;
        used += (size_t)n;
        head[used] = 0;
        end = strstr(head, "\r\n\r\n");
    }
    const char* length = field(head, "Content-Length");
    unsigned long long want = length ? strtoull(length, NULL, 10) : 0;
    unsigned long long got = used - (size_t)(end + 4 - head);
    const char* expect = field(head, "Expect");
    /* Expectations are case-insensitive: the module asks for "100-Continue". */
    if (expect && strcasestr(expect, "100-continue") && got < want && send_all(c, kContinue, sizeof kContinue - 1))
        return 0;
    while (got < want) {
        ssize_t n = conn_recv(c, block, BODY_BLOCK);
        if (n <= 0) {
            fprintf(stderr, "parvex-sink: the body ended after %llu of %llu bytes\n", got, want);
            return 0;
        }
        got += (unsigned long long)n;
    }
    if (send_all(c, kReply, sizeof kReply - 1)) return 0;
    *answered = now_ms();
    if (c->ssl) SSL_shutdown(c->ssl);
    shutdown(c->fd, SHUT_WR);
    /* The client closes first: its last bytes are never met by a reset. */
    while (recv(c->fd, block, BODY_BLOCK, 0) > 0) {
    }
    return got;
}

/* Whether the client's first byte is that of a TLS handshake record (an
 * HTTP request starts with a letter). */
static int opens_tls(int fd) {
    unsigned char first = 0;
    return recv(fd, &first, 1, MSG_PEEK) == 1 && first == 0x16;
}

/* The TLS side: the certificate chain and key, TLS 1.2 or newer. */
static SSL_CTX* server_context(const char* cert, const char* key) {
    SSL_CTX* ctx = SSL_CTX_new(TLS_server_method());
    if (ctx && SSL_CTX_set_min_proto_version(ctx, TLS1_2_VERSION) == 1 &&
        SSL_CTX_use_certificate_chain_file(ctx, cert) == 1 &&
        SSL_CTX_use_PrivateKey_file(ctx, key, SSL_FILETYPE_PEM) == 1) {
        SSL_CTX_set_read_ahead(ctx, 1);
        return ctx;
    }
    fprintf(stderr, "parvex-sink: the certificate %s or key %s did not load\n", cert, key);
    SSL_CTX_free(ctx);
    return NULL;
}

int main(int argc, char** argv) {
    if (argc != 2 && argc != 3 && argc != 5) {
        fprintf(stderr, "usage: parvex-sink PORT-FILE [SPAN-LOG [CERT KEY]]\n");
        return 2;
    }
    SSL_CTX* tls = argc == 5 ? server_context(argv[3], argv[4]) : NULL;
    if (argc == 5 && !tls) return 1;
    int listener = socket(AF_INET, SOCK_STREAM, 0);
    int on = 1;
    setsockopt(listener, SOL_SOCKET, SO_REUSEADDR, &on, sizeof on);
    struct sockaddr_in address;
    memset(&address, 0, sizeof address);
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    const char* listen_on = getenv("PARVEX_SINK_ADDRESS");
    if (listen_on && inet_pton(AF_INET, listen_on, &address.sin_addr) != 1) {
        fprintf(stderr, "parvex-sink: PARVEX_SINK_ADDRESS %s is no IPv4 address\n", listen_on);
        return 1;
    }
    socklen_t size = sizeof address;
    if (bind(listener, (struct sockaddr*)&address, sizeof address) != 0 || listen(listener, 16) != 0 ||
        getsockname(listener, (struct sockaddr*)&address, &size) != 0) {
        perror("parvex-sink");
        return 1;
    }
    char temporary[4096];
    snprintf(temporary, sizeof temporary, "%s.tmp", argv[1]);
    FILE* out = fopen(temporary, "w");
    if (!out || fprintf(out, "%d\n", ntohs(address.sin_port)) < 0 || fclose(out) != 0 ||
        rename(temporary, argv[1]) != 0) {
        perror("parvex-sink");
        return 1;
    }
    signal(SIGPIPE, SIG_IGN);
    char* block = malloc(BODY_BLOCK);
    if (!block) return 1;
    for (;;) {
        int fd = accept(listener, NULL, NULL);
        if (fd < 0) continue;
        /* A client that stalls holds the next one up for half a minute at most. */
        struct timeval limit = {30, 0};
        setsockopt(fd, SOL_SOCKET, SO_RCVTIMEO, &limit, sizeof limit);
        double accepted = now_ms(), answered = 0;
        struct conn c = {fd, tls && opens_tls(fd) ? SSL_new(tls) : NULL};
        unsigned long long bytes = 0;
        if (!c.ssl || (SSL_set_fd(c.ssl, fd) == 1 && SSL_accept(c.ssl) == 1)) bytes = serve(&c, block, &answered);
        SSL_free(c.ssl);
        close(fd);
        FILE* log = bytes > 0 && argc >= 3 ? fopen(argv[2], "a") : NULL;
        if (log) {
            fprintf(log, "%llu %.0f\n", bytes, answered - accepted);
            fclose(log);
        }
    }
}
