/* parvex-linkemu: a wide-area link between two network namespaces, for the
 * benchmark's WAN rows on a kernel without netem. It makes one TUN device in
 * each namespace and carries every packet from one to the other as such a
 * link would: one bottleneck of the given rate per direction with a
 * drop-tail queue, the given round trip (half of it each way), random loss
 * and jitter. Packets leave in the order they came; jitter only varies the
 * delay of each (as a radio link's retries do), never reorders.
 *   parvex-linkemu NETNS-A DEV-A NETNS-B DEV-B RATE-MBIT RTT-MS LOSS-PCT
 *                  JITTER-MS READY-FILE
 * NETNS-* are paths such as /var/run/netns/NAME. The READY-FILE is written
 * once both devices exist; the program runs until SIGTERM or SIGINT, and
 * prints each direction's packet counts then. */
#define _GNU_SOURCE
#include <errno.h>
#include <fcntl.h>
#include <linux/if.h>
#include <linux/if_tun.h>
#include <poll.h>
#include <sched.h>
#include <signal.h>
#include <stdint.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/ioctl.h>
#include <time.h>
#include <unistd.h>

#define SLOTS 8192          /* packets one direction may hold, queued or on the wire */
#define PACKET_BYTES 2048   /* the devices keep the default MTU of 1500 */
#define QUEUE_PACKETS 1000  /* the bottleneck's queue, as netem's default limit */

struct packet {
    uint64_t due_ns; /* when it leaves the far end of the link */
    uint16_t bytes;
    unsigned char data[PACKET_BYTES];
};

/* One direction: packets read from `in`, written to `out` when due. Arrival
 * times only grow, so a ring in arrival order is the whole schedule. */
struct direction {
    int in, out;
    struct packet* ring;
    unsigned head, count;
    uint64_t free_ns;     /* when the bottleneck has sent all it holds */
    uint64_t last_due_ns; /* the latest arrival scheduled, to keep the order */
    uint64_t rng;
    unsigned long passed, lost, overflowed;
};

static double rate_bps, loss, one_way_ns, jitter_ns;
static volatile sig_atomic_t stopping;

static void on_signal(int sig) { (void)sig; stopping = 1; }

static uint64_t now_ns(void) {
    struct timespec t;
    clock_gettime(CLOCK_MONOTONIC, &t);
    return (uint64_t)t.tv_sec * 1000000000ull + (uint64_t)t.tv_nsec;
}

/* xorshift64*: uniform in [0, 1). */
static double uniform(struct direction* d) {
    d->rng ^= d->rng >> 12;
    d->rng ^= d->rng << 25;
    d->rng ^= d->rng >> 27;
    return (double)((d->rng * 2685821657736338717ull) >> 11) / 9007199254740992.0;
}

/* A TUN device named `name` in the namespace at `netns_path`. */
static int open_tun(const char* netns_path, const char* name) {
    int ns = open(netns_path, O_RDONLY | O_CLOEXEC);
    if (ns < 0 || setns(ns, CLONE_NEWNET) != 0) {
        fprintf(stderr, "linkemu: cannot enter %s: %s\n", netns_path, strerror(errno));
        return -1;
    }
    close(ns);
    int fd = open("/dev/net/tun", O_RDWR | O_CLOEXEC | O_NONBLOCK);
    struct ifreq ifr;
    memset(&ifr, 0, sizeof ifr);
    ifr.ifr_flags = IFF_TUN | IFF_NO_PI;
    snprintf(ifr.ifr_name, sizeof ifr.ifr_name, "%s", name);
    if (fd < 0 || ioctl(fd, TUNSETIFF, &ifr) != 0) {
        fprintf(stderr, "linkemu: cannot make %s: %s\n", name, strerror(errno));
        return -1;
    }
    return fd;
}

/* Takes every packet waiting on d->in and schedules or drops it. */
static void take(struct direction* d) {
    for (;;) {
        struct packet* p = &d->ring[(d->head + d->count) % SLOTS];
        ssize_t n = read(d->in, p->data, PACKET_BYTES);
        if (n <= 0) return;
        uint64_t now = now_ns();
        if (d->free_ns < now) d->free_ns = now;
        double serialize_ns = (double)n * 8.0 * 1e9 / rate_bps;
        /* The queue's depth in packets of this size, as the bottleneck sees it. */
        if (d->count >= SLOTS || (double)(d->free_ns - now) > QUEUE_PACKETS * serialize_ns) {
            d->overflowed++;
            continue;
        }
        if (uniform(d) < loss) {
            d->lost++;
            continue;
        }
        d->free_ns += (uint64_t)serialize_ns;
        double jitter = jitter_ns > 0 ? (uniform(d) * 2.0 - 1.0) * jitter_ns : 0;
        uint64_t due = d->free_ns + (uint64_t)(one_way_ns + jitter > 0 ? one_way_ns + jitter : 0);
        if (due < d->last_due_ns) due = d->last_due_ns;
        d->last_due_ns = due;
        p->due_ns = due;
        p->bytes = (uint16_t)n;
        d->count++;
    }
}

/* Writes the packets that are due; returns the nanoseconds to the next. */
static int64_t deliver(struct direction* d) {
    uint64_t now = now_ns();
    while (d->count > 0) {
        struct packet* p = &d->ring[d->head];
        if (p->due_ns > now) return (int64_t)(p->due_ns - now);
        /* A full device queue on the far side drops the packet, as a wire would. */
        if (write(d->out, p->data, p->bytes) == p->bytes) d->passed++;
        d->head = (d->head + 1) % SLOTS;
        d->count--;
    }
    return -1;
}

int main(int argc, char** argv) {
    if (argc != 10) {
        fprintf(stderr, "usage: parvex-linkemu NETNS-A DEV-A NETNS-B DEV-B RATE-MBIT RTT-MS LOSS-PCT JITTER-MS READY-FILE\n");
        return 2;
    }
    rate_bps = atof(argv[5]) * 1e6;
    one_way_ns = atof(argv[6]) * 1e6 / 2;
    loss = atof(argv[7]) / 100.0;
    jitter_ns = atof(argv[8]) * 1e6;
    if (rate_bps <= 0 || one_way_ns < 0 || loss < 0 || loss >= 1 || jitter_ns < 0) {
        fprintf(stderr, "linkemu: a rate above 0, a round trip and jitter of 0 or more, a loss below 100 %%\n");
        return 2;
    }
    int a = open_tun(argv[1], argv[2]), b = open_tun(argv[3], argv[4]);
    if (a < 0 || b < 0) return 1;
    struct direction dirs[2] = {{.in = a, .out = b}, {.in = b, .out = a}};
    for (int i = 0; i < 2; i++) {
        dirs[i].ring = malloc(sizeof(struct packet) * SLOTS);
        dirs[i].rng = (uint64_t)now_ns() * 2654435761u + (uint64_t)i + 1;
        if (!dirs[i].ring) return 1;
    }
    signal(SIGTERM, on_signal);
    signal(SIGINT, on_signal);
    FILE* ready = fopen(argv[9], "w");
    if (!ready) return 1;
    fputs("ready\n", ready);
    fclose(ready);
    while (!stopping) {
        int64_t wait = -1;
        for (int i = 0; i < 2; i++) {
            int64_t next = deliver(&dirs[i]);
            if (next >= 0 && (wait < 0 || next < wait)) wait = next;
        }
        struct pollfd fds[2] = {{.fd = a, .events = POLLIN}, {.fd = b, .events = POLLIN}};
        struct timespec t = {.tv_sec = 0, .tv_nsec = 200000000};
        if (wait >= 0 && wait < 200000000) t.tv_nsec = wait;
        if (ppoll(fds, 2, &t, NULL) < 0 && errno != EINTR) break;
        if (fds[0].revents & POLLIN) take(&dirs[0]);
        if (fds[1].revents & POLLIN) take(&dirs[1]);
    }
    for (int i = 0; i < 2; i++)
        fprintf(stderr, "linkemu: %s -> %s: %lu passed, %lu lost, %lu dropped by the full queue\n",
                i ? argv[4] : argv[2], i ? argv[2] : argv[4], dirs[i].passed, dirs[i].lost, dirs[i].overflowed);
    return 0;
}
