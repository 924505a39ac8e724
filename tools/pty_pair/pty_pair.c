/*
 * pty_pair: null-modem cables made of pseudo-terminals, for running the
 * serial component under Wine against a peer.
 *
 *   pty_pair STATE_DIR NAME_A NAME_B [NAME_C NAME_D ...]
 *
 * For every NAME it opens a pty and makes STATE_DIR/NAME a link to the pty's
 * slave (/dev/pts/N). Wine opens the slave when $WINEPREFIX/dosdevices/comX
 * links to STATE_DIR/NAME (wine-com-ports.sh sets that up, in the registry as
 * well so a restarted wineserver keeps it); a native program such as the box
 * emulator can open STATE_DIR/NAME directly. Names are taken in pairs, and the
 * bytes written to one end of a pair are relayed to the other, both ways.
 *
 * The slaves are put in raw mode and held open here, so nothing is echoed or
 * translated before a program configures them and the relay never sees a
 * hang-up when a program closes its end.
 *
 * Control files are named KIND-NAME, never NAME.ext: Windows takes
 * "com5.anything" for the device COM5.
 *
 * Line state: STATE_DIR/line-NAME holds the modem lines and error counters
 * that the pty_modem preload library reports for that port (see pty_modem.c);
 * STATE_DIR/ptsN.line links to it. Write it to change them.
 *
 * Unplugging: creating STATE_DIR/unplug-NAME removes the device: its pty is
 * closed (a program that has it open sees a hang-up) and STATE_DIR/NAME
 * becomes an empty directory, which Wine fails to open like a missing port.
 * Deleting unplug-NAME plugs a new pty in. STATE_DIR/state-NAME says
 * "plugged /dev/pts/N" or "unplugged" once the change is done. Bytes sent
 * towards an unplugged end are dropped.
 *
 * STATE_DIR/ready appears when every port is set up. SIGTERM or SIGINT ends
 * the program; it removes its links first.
 */
#define _GNU_SOURCE
#include <errno.h>
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/stat.h>
#include <termios.h>
#include <unistd.h>

enum { kMaxPorts = 16, kRelayBuffer = 65536, kControlPollMs = 20 };

struct port {
    const char* name;
    int master; /* -1 while unplugged */
    int holder; /* our own open slave descriptor */
    int pts;    /* N of /dev/pts/N */
    /* Bytes read from this end, waiting to be written to the peer. */
    unsigned char buffer[kRelayBuffer];
    size_t start, length;
};

static struct port ports[kMaxPorts];
static int port_count;
static const char* state_dir;
static volatile sig_atomic_t stopping;

static void on_signal(int sig) {
    (void)sig;
    stopping = 1;
}

/* STATE_DIR/NAME itself, or a control file STATE_DIR/KIND-NAME. The kind
 * comes first because Windows takes "com5.anything" for the device COM5. */
static void state_path(char* out, size_t size, const char* name, const char* kind) {
    if (kind[0]) {
        snprintf(out, size, "%s/%s-%s", state_dir, kind, name);
    } else {
        snprintf(out, size, "%s/%s", state_dir, name);
    }
}

static void write_text(const char* path, const char* text) {
    char tmp[4200];
    snprintf(tmp, sizeof tmp, "%s.tmp", path);
    FILE* f = fopen(tmp, "w");
    if (!f) return;
    fputs(text, f);
    fclose(f);
    rename(tmp, path);
}

static int exists(const char* path) {
    struct stat st;
    return lstat(path, &st) == 0;
}

static void remove_device_entry(const char* path) {
    if (unlink(path) != 0 && errno == EISDIR) rmdir(path);
    if (exists(path)) rmdir(path);
}

static int plug(struct port* p) {
    const int master = posix_openpt(O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (master < 0 || grantpt(master) != 0 || unlockpt(master) != 0) {
        perror("pty");
        if (master >= 0) close(master);
        return -1;
    }
    const char* slave = ptsname(master);
    const int holder = slave ? open(slave, O_RDWR | O_NOCTTY | O_CLOEXEC) : -1;
    if (holder < 0) {
        perror("open slave");
        close(master);
        return -1;
    }
    struct termios t;
    if (tcgetattr(holder, &t) == 0) {
        cfmakeraw(&t);
        tcsetattr(holder, TCSANOW, &t);
    }
    p->master = master;
    p->holder = holder;
    p->pts = atoi(slave + strlen("/dev/pts/"));
    p->start = p->length = 0;

    char path[4096], target[4096];
    state_path(path, sizeof path, p->name, "");
    remove_device_entry(path);
    if (symlink(slave, path) != 0) perror("symlink");

    /* The line file stays; the preload library finds it through ptsN.line. */
    state_path(path, sizeof path, p->name, "line");
    if (!exists(path)) write_text(path, "");
    snprintf(path, sizeof path, "%s/pts%d.line", state_dir, p->pts);
    snprintf(target, sizeof target, "line-%s", p->name);
    unlink(path);
    if (symlink(target, path) != 0) perror("symlink");

    state_path(path, sizeof path, p->name, "state");
    snprintf(target, sizeof target, "plugged %s\n", slave);
    write_text(path, target);
    return 0;
}

static void unplug(struct port* p) {
    char path[4096];
    close(p->master);
    close(p->holder);
    p->master = p->holder = -1;
    p->length = 0;
    snprintf(path, sizeof path, "%s/pts%d.line", state_dir, p->pts);
    unlink(path);
    state_path(path, sizeof path, p->name, "");
    remove_device_entry(path);
    mkdir(path, 0755);
    state_path(path, sizeof path, p->name, "state");
    write_text(path, "unplugged\n");
}

static void check_control_files(void) {
    for (int i = 0; i < port_count; ++i) {
        char path[4096];
        state_path(path, sizeof path, ports[i].name, "unplug");
        const int wanted_out = exists(path);
        if (wanted_out && ports[i].master >= 0) unplug(&ports[i]);
        if (!wanted_out && ports[i].master < 0) plug(&ports[i]);
    }
}

/* Moves bytes from port `from` towards its peer. */
static void relay_in(struct port* from) {
    if (from->length > 0) return; /* wait until the peer took the last batch */
    const ssize_t n = read(from->master, from->buffer, sizeof from->buffer);
    if (n > 0) {
        from->start = 0;
        from->length = (size_t)n;
    }
}

static void relay_out(struct port* from, struct port* to) {
    if (from->length == 0) return;
    if (to->master < 0) {
        from->length = 0; /* the peer is unplugged: the bytes are lost on the line */
        return;
    }
    const ssize_t n = write(to->master, from->buffer + from->start, from->length);
    if (n > 0) {
        from->start += (size_t)n;
        from->length -= (size_t)n;
    }
}

static void cleanup(void) {
    char path[4096];
    for (int i = 0; i < port_count; ++i) {
        state_path(path, sizeof path, ports[i].name, "");
        remove_device_entry(path);
        snprintf(path, sizeof path, "%s/pts%d.line", state_dir, ports[i].pts);
        unlink(path);
        state_path(path, sizeof path, ports[i].name, "state");
        unlink(path);
    }
    snprintf(path, sizeof path, "%s/ready", state_dir);
    unlink(path);
}

int main(int argc, char** argv) {
    if (argc < 4 || (argc - 2) % 2 != 0 || argc - 2 > kMaxPorts) {
        fprintf(stderr, "usage: %s STATE_DIR NAME_A NAME_B [NAME_C NAME_D ...]\n", argv[0]);
        return 2;
    }
    state_dir = argv[1];
    mkdir(state_dir, 0755);
    port_count = argc - 2;
    for (int i = 0; i < port_count; ++i) {
        ports[i].name = argv[i + 2];
        ports[i].master = ports[i].holder = -1;
        char path[4096];
        state_path(path, sizeof path, ports[i].name, "unplug");
        unlink(path);
        if (plug(&ports[i]) != 0) return 1;
    }
    struct sigaction sa;
    memset(&sa, 0, sizeof sa);
    sa.sa_handler = on_signal;
    sigaction(SIGTERM, &sa, NULL);
    sigaction(SIGINT, &sa, NULL);
    signal(SIGPIPE, SIG_IGN);

    char ready[4096];
    snprintf(ready, sizeof ready, "%s/ready", state_dir);
    write_text(ready, "ready\n");

    while (!stopping) {
        struct pollfd fds[kMaxPorts];
        for (int i = 0; i < port_count; ++i) {
            struct port* p = &ports[i];
            struct port* peer = &ports[i ^ 1];
            fds[i].fd = p->master;
            fds[i].events = 0;
            if (p->length == 0) fds[i].events |= POLLIN;
            if (peer->length > 0) fds[i].events |= POLLOUT;
        }
        const int r = poll(fds, (nfds_t)port_count, kControlPollMs);
        if (r < 0 && errno != EINTR) break;
        for (int i = 0; i < port_count; ++i) {
            if (ports[i].master < 0) continue;
            if (fds[i].revents & POLLIN) relay_in(&ports[i]);
        }
        for (int i = 0; i < port_count; ++i) relay_out(&ports[i], &ports[i ^ 1]);
        check_control_files();
    }
    cleanup();
    return 0;
}
