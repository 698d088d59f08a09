/* A virtual wall clock for one process, preloaded so that a test can run code that sets the
 * clock without touching the real one:
 *   TIMESHIM_LOG=file   each attempted change appends "<call> <epoch seconds>.<nanoseconds>"
 *   TIMESHIM_ERRNO=n    each change fails with errno n (1 = EPERM) and is not applied
 * After an applied change CLOCK_REALTIME, gettimeofday() and time() read the new time plus
 * the time elapsed since, as on a real machine, so a date set first and a time set second
 * land where they should. Both variables are read at every call, so a test may change them.
 * Calls made through syscall() are not caught: tests also drop CAP_SYS_TIME.
 * The C library declares the time pointers of these calls non-null, so neither do we check. */
#define _GNU_SOURCE
#include <dlfcn.h>
#include <errno.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/time.h>
#include <sys/timex.h>
#include <time.h>

#define NS_PER_SECOND 1000000000LL

typedef int (*clock_gettime_fn)(clockid_t, struct timespec*);
typedef int (*clock_adjtime_fn)(clockid_t, struct timex*);

static long long offset_ns; /* virtual minus real CLOCK_REALTIME */

/* The C library's own function of that name. dlsym hands back an object pointer; ISO C has
 * no cast from it to a function pointer, so its bytes are copied, as POSIX allows. */
static void next_function(const char* name, void* function, size_t size)
{
    void* symbol = dlsym(RTLD_NEXT, name);
    memcpy(function, &symbol, size);
}

static int real_clock_gettime(clockid_t id, struct timespec* ts)
{
    static clock_gettime_fn real;
    if (!real)
        next_function("clock_gettime", &real, sizeof real);
    return real(id, ts);
}

static int is_realtime(clockid_t id)
{
    return id == CLOCK_REALTIME || id == CLOCK_REALTIME_COARSE;
}

/* Logs the attempt; returns -1 with errno set when the test asks for a refusal. */
static int record(const char* call, long long sec, long nsec)
{
    const char* path = getenv("TIMESHIM_LOG");
    if (path) {
        FILE* log = fopen(path, "a");
        if (log) {
            fprintf(log, "%s %lld.%09ld\n", call, sec, nsec);
            fclose(log);
        }
    }
    const char* refusal = getenv("TIMESHIM_ERRNO");
    if (refusal && atoi(refusal) > 0) {
        errno = atoi(refusal);
        return -1;
    }
    return 0;
}

static int apply(const char* call, long long sec, long nsec)
{
    if (nsec < 0 || nsec >= NS_PER_SECOND) {
        errno = EINVAL; /* what the kernel says to such a request */
        return -1;
    }
    if (record(call, sec, nsec) != 0)
        return -1;
    struct timespec now;
    real_clock_gettime(CLOCK_REALTIME, &now);
    offset_ns = (sec - (long long)now.tv_sec) * NS_PER_SECOND + (nsec - now.tv_nsec);
    return 0;
}

int clock_gettime(clockid_t id, struct timespec* ts)
{
    int result = real_clock_gettime(id, ts);
    if (result == 0 && is_realtime(id) && offset_ns != 0) {
        long long ns = (long long)ts->tv_sec * NS_PER_SECOND + ts->tv_nsec + offset_ns;
        long long sec = ns / NS_PER_SECOND;
        long long rest = ns % NS_PER_SECOND;
        if (rest < 0) {
            rest += NS_PER_SECOND;
            sec -= 1;
        }
        ts->tv_sec = (time_t)sec;
        ts->tv_nsec = (long)rest;
    }
    return result;
}

int gettimeofday(struct timeval* tv, void* tz)
{
    (void)tz;
    struct timespec ts;
    clock_gettime(CLOCK_REALTIME, &ts);
    tv->tv_sec = ts.tv_sec;
    tv->tv_usec = ts.tv_nsec / 1000;
    return 0;
}

time_t time(time_t* t)
{
    struct timespec ts;
    clock_gettime(CLOCK_REALTIME, &ts);
    if (t)
        *t = ts.tv_sec;
    return ts.tv_sec;
}

int clock_settime(clockid_t id, const struct timespec* ts)
{
    if (!is_realtime(id)) {
        errno = EINVAL;
        return -1;
    }
    return apply("clock_settime", ts->tv_sec, ts->tv_nsec);
}

int settimeofday(const struct timeval* tv, const struct timezone* tz)
{
    (void)tz;
    if (!tv)
        return record("settimeofday-tz-only", 0, 0);
    return apply("settimeofday", tv->tv_sec, tv->tv_usec * 1000L);
}

/* Gradual corrections are logged (or refused) but never applied: the virtual clock only jumps. */
int adjtime(const struct timeval* delta, struct timeval* old)
{
    if (old) {
        old->tv_sec = 0;
        old->tv_usec = 0;
    }
    if (!delta)
        return 0;
    return record("adjtime", delta->tv_sec, delta->tv_usec * 1000L);
}

static int timex_common(const char* call, clockid_t id, struct timex* tx)
{
    if (tx && tx->modes == 0) { /* a read-only query reaches the kernel */
        clock_adjtime_fn real;
        next_function("clock_adjtime", &real, sizeof real);
        return real(id, tx);
    }
    int result = record(call, tx ? (long long)tx->modes : 0, tx ? tx->offset : 0L);
    return result < 0 ? result : TIME_OK;
}

int clock_adjtime(clockid_t id, struct timex* tx)
{
    return timex_common("clock_adjtime", id, tx);
}

int adjtimex(struct timex* tx)
{
    return timex_common("adjtimex", CLOCK_REALTIME, tx);
}

int ntp_adjtime(struct timex* tx)
{
    return timex_common("ntp_adjtime", CLOCK_REALTIME, tx);
}

/* Tests look this symbol up and refuse to run without the shim. */
int timeshim_loaded = 1;
