/*
 * pty_modem: an LD_PRELOAD library that gives pseudo-terminals the modem
 * ioctls Wine's serial layer expects, so a pty linked as a COM port behaves
 * like a serial device with working event waits.
 *
 * Wine's event wait polls TIOCGICOUNT (line error, break and ring counters),
 * TIOCMGET (modem lines) and TIOCSERGETLSR/TIOCINQ every millisecond, and
 * ends the wait with a failure when TIOCMGET fails, which it always does on a
 * pty. When the real ioctl fails on a pty slave, this library answers instead:
 *   TIOCMSET/TIOCMBIS/TIOCMBIC  store DTR and RTS for the pty;
 *   TIOCMGET                    returns them plus the input lines (CTS, DSR
 *                               and CD on, RI off unless the line file says
 *                               otherwise);
 *   TIOCGICOUNT                 returns the counters of the line file;
 *   TIOCSERGETLSR               reports the transmitter empty.
 * A pty whose master end is gone (pty_pair unplugged it) is a removed
 * device: these fail for it, as they do for a USB adapter pulled out.
 *
 * Line file. With PTY_MODEM_DIR set, the state of the pty /dev/pts/N is read
 * from $PTY_MODEM_DIR/ptsN.line at every faked call (pty_pair makes that a
 * link to the port's line-NAME). It holds key=value words:
 *   modem=0          no faking at all: a driver without event support;
 *   cts= dsr= cd= ri=                 input lines (0 or 1);
 *   frame= overrun= parity= brk= rng= counter values;
 *   error_with_data=G                 arms one framing error for generation G
 *                                     (G > 0).
 *       While it is armed, TIOCINQ reports no input; the first TIOCGICOUNT
 *       after TIOCINQ has held input back counts the error, and input shows
 *       again. So Wine finds the error and the received bytes in the same
 *       poll of a wait that was already running (never in the snapshot a
 *       wait starts from), and reports both from one wake-up, as a real UART
 *       does when an errored byte arrives.
 */
#define _GNU_SOURCE
#include <dlfcn.h>
#include <errno.h>
#include <fcntl.h>
#include <linux/serial.h>
#include <poll.h>
#include <stdarg.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <unistd.h>

typedef int (*ioctl_fn)(int, unsigned long, ...);

enum { kMaxPtys = 4096 };

/* Per pty (indexed by the slave's minor number); touched with atomics because
 * Wine calls ioctl from several threads. */
static int out_lines[kMaxPtys];
static unsigned applied_generation[kMaxPtys];
static unsigned held_back_generation[kMaxPtys];
static int extra_frame_errors[kMaxPtys];

struct line_state {
    int modem, cts, dsr, cd, ri;
    int frame, overrun, parity, brk, rng;
    unsigned error_with_data;
};

/* PTY_MODEM_DIR, read when the library is loaded: Wine replaces the process
 * environment with the Windows one later on, where getenv no longer sees it. */
static char state_dir[4096];

__attribute__((constructor)) static void read_environment(void) {
    const char* dir = getenv("PTY_MODEM_DIR");
    if (dir && strlen(dir) < sizeof state_dir) strcpy(state_dir, dir);
}

/* The master end of the pty is closed: the device was unplugged. */
static int hung_up(int fd) {
    struct pollfd p = {fd, 0, 0};
    return poll(&p, 1, 0) == 1 && (p.revents & POLLHUP) != 0;
}

static ioctl_fn real_ioctl(void) {
    static ioctl_fn fn;
    ioctl_fn f = __atomic_load_n(&fn, __ATOMIC_ACQUIRE);
    if (!f) {
        f = (ioctl_fn)dlsym(RTLD_NEXT, "ioctl");
        __atomic_store_n(&fn, f, __ATOMIC_RELEASE);
    }
    return f;
}

/* The pty index of a Unix98 pty slave (majors 136..143), or -1. */
static int pty_index(int fd) {
    struct stat st;
    if (fstat(fd, &st) != 0 || !S_ISCHR(st.st_mode)) return -1;
    const unsigned maj = major(st.st_rdev);
    if (maj < 136 || maj > 143) return -1;
    const unsigned index = (maj - 136) * 256 + minor(st.st_rdev);
    return index < kMaxPtys ? (int)index : -1;
}

static void read_line_state(int index, struct line_state* s) {
    memset(s, 0, sizeof *s);
    s->modem = s->cts = s->dsr = s->cd = 1;
    if (!state_dir[0]) return;
    char path[4200];
    snprintf(path, sizeof path, "%s/pts%d.line", state_dir, index);
    const int fd = open(path, O_RDONLY | O_CLOEXEC);
    if (fd < 0) return;
    char text[512];
    const ssize_t n = read(fd, text, sizeof text - 1);
    close(fd);
    if (n <= 0) return;
    text[n] = 0;
    char* save = NULL;
    for (char* word = strtok_r(text, " \t\r\n", &save); word;
         word = strtok_r(NULL, " \t\r\n", &save)) {
        char* eq = strchr(word, '=');
        if (!eq) continue;
        *eq = 0;
        const long v = strtol(eq + 1, NULL, 10);
        if (!strcmp(word, "modem"))
            s->modem = (int)v;
        else if (!strcmp(word, "cts"))
            s->cts = (int)v;
        else if (!strcmp(word, "dsr"))
            s->dsr = (int)v;
        else if (!strcmp(word, "cd"))
            s->cd = (int)v;
        else if (!strcmp(word, "ri"))
            s->ri = (int)v;
        else if (!strcmp(word, "frame"))
            s->frame = (int)v;
        else if (!strcmp(word, "overrun"))
            s->overrun = (int)v;
        else if (!strcmp(word, "parity"))
            s->parity = (int)v;
        else if (!strcmp(word, "brk"))
            s->brk = (int)v;
        else if (!strcmp(word, "rng"))
            s->rng = (int)v;
        else if (!strcmp(word, "error_with_data"))
            s->error_with_data = (unsigned)v;
    }
}

static int input_waiting(int fd) {
    int queued = 0;
    if (real_ioctl()(fd, FIONREAD, &queued) != 0) return 0;
    return queued;
}

/* Generation 0 (the line file without error_with_data) arms nothing, also
 * after an earlier generation was applied: otherwise input would stay held
 * back for good once the line file is reset, unless an event wait polls. */
static int armed_error_pending(int index, const struct line_state* s) {
    return s->error_with_data != 0 &&
           s->error_with_data != __atomic_load_n(&applied_generation[index], __ATOMIC_ACQUIRE);
}

static int fake_icount(int fd, int index, struct serial_icounter_struct* c) {
    struct line_state s;
    read_line_state(index, &s);
    if (!s.modem) return -1;
    if (armed_error_pending(index, &s) && input_waiting(fd) > 0 &&
        __atomic_load_n(&held_back_generation[index], __ATOMIC_ACQUIRE) == s.error_with_data) {
        __atomic_fetch_add(&extra_frame_errors[index], 1, __ATOMIC_ACQ_REL);
        __atomic_store_n(&applied_generation[index], s.error_with_data, __ATOMIC_RELEASE);
    }
    memset(c, 0, sizeof *c);
    c->frame = s.frame + __atomic_load_n(&extra_frame_errors[index], __ATOMIC_ACQUIRE);
    c->overrun = s.overrun;
    c->parity = s.parity;
    c->brk = s.brk;
    c->rng = s.rng;
    return 0;
}

static int fake_modem_lines(int index, unsigned long request, int* arg) {
    struct line_state s;
    read_line_state(index, &s);
    if (!s.modem) return -1;
    const int out_mask = TIOCM_DTR | TIOCM_RTS;
    switch (request) {
        case TIOCMGET:
            *arg = __atomic_load_n(&out_lines[index], __ATOMIC_ACQUIRE) | (s.cts ? TIOCM_CTS : 0) |
                   (s.dsr ? TIOCM_DSR : 0) | (s.cd ? TIOCM_CD : 0) | (s.ri ? TIOCM_RI : 0);
            return 0;
        case TIOCMSET:
            __atomic_store_n(&out_lines[index], *arg & out_mask, __ATOMIC_RELEASE);
            return 0;
        case TIOCMBIS:
            __atomic_fetch_or(&out_lines[index], *arg & out_mask, __ATOMIC_ACQ_REL);
            return 0;
        case TIOCMBIC:
            __atomic_fetch_and(&out_lines[index], ~(*arg & out_mask), __ATOMIC_ACQ_REL);
            return 0;
        default: return -1;
    }
}

int ioctl(int fd, unsigned long request, ...) {
    /* ioctl's third argument is a pointer or an integer, or absent for a few
     * requests; like libc's own wrappers we pass on one pointer-sized word. */
    va_list ap;
    va_start(ap, request);
    void* arg = va_arg(ap, void*);
    va_end(ap);

    const int result = real_ioctl()(fd, request, arg);
    const int saved = errno;

    if (request == FIONREAD && result == 0 && state_dir[0]) {
        /* Hold back input while an armed error waits for its first poll. */
        const int index = pty_index(fd);
        if (index >= 0 && *(int*)arg > 0) {
            struct line_state s;
            read_line_state(index, &s);
            if (s.modem && armed_error_pending(index, &s)) {
                *(int*)arg = 0;
                __atomic_store_n(&held_back_generation[index], s.error_with_data, __ATOMIC_RELEASE);
            }
        }
        return result;
    }
    if (result == 0) return result;

    const int index = pty_index(fd);
    if (index >= 0 && hung_up(fd)) {
        errno = EIO;
        return result;
    }
    if (index >= 0) {
        switch (request) {
            case TIOCMGET:
            case TIOCMSET:
            case TIOCMBIS:
            case TIOCMBIC:
                if (fake_modem_lines(index, request, (int*)arg) == 0) return 0;
                break;
            case TIOCGICOUNT:
                if (fake_icount(fd, index, (struct serial_icounter_struct*)arg) == 0) return 0;
                break;
            case TIOCSERGETLSR: {
                struct line_state s;
                read_line_state(index, &s);
                if (s.modem) {
                    *(unsigned int*)arg = TIOCSER_TEMT;
                    return 0;
                }
                break;
            }
            default: break;
        }
    }
    errno = saved;
    return result;
}
