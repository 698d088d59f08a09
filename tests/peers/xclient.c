/* A small X program for the launcher's tests: it plays the kind of program its own file name
 * starts with, writes what happens to it to the file named by XCLIENT_LOG (one line per event,
 * "start PID FOLDER ARGS...", "splash PID WINDOW", "main PID WINDOW", "close PID WINDOW",
 * "exit PID") and ends when one of its windows is asked to close.
 *
 *   main...        one main window (a minimise box)
 *   splash...      a splash window (no minimise box) and the main window at once
 *   late...        a splash window, the main window 3 s later
 *   palette...     one tool window, which has no minimise box
 *   nopid...       one main window without _NET_WM_PID: only the X server knows its process
 *   nowindow...    no window at all
 *   quitter...     ends at once
 *
 * Whatever happens, it ends after 60 s, or when its display goes away. */
#include <X11/Xatom.h>
#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <fcntl.h>
#include <limits.h>
#include <poll.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <unistd.h>

static void log_line(const char *text)
{
    const char *path = getenv("XCLIENT_LOG");
    if (!path)
        return;
    int fd = open(path, O_WRONLY | O_APPEND | O_CREAT, 0644);
    if (fd < 0)
        return;
    ssize_t written = write(fd, text, strlen(text)); /* one write: lines of programs never mix */
    (void)written;
    close(fd);
}

static void log_window(const char *kind, Window window)
{
    char line[128];
    snprintf(line, sizeof line, "%s %d %lu\n", kind, (int)getpid(), (unsigned long)window);
    log_line(line);
}

static int starts_with(const char *name, const char *prefix)
{
    return strncmp(name, prefix, strlen(prefix)) == 0;
}

enum { MwmHintsFunctions = 1, MwmHintsDecorations = 2, MwmFuncMove = 4, MwmFuncClose = 32 };
enum { MwmDecorBorder = 2, MwmDecorTitle = 8, MwmDecorMenu = 16 };

static Window make_window(Display *display, const char *title, const char *type, int with_pid, int no_minimize,
                          int x)
{
    Window window = XCreateSimpleWindow(display, DefaultRootWindow(display), x, 60, 220, 120, 1,
                                        BlackPixel(display, DefaultScreen(display)),
                                        WhitePixel(display, DefaultScreen(display)));
    XStoreName(display, window, title);
    Atom delete_window = XInternAtom(display, "WM_DELETE_WINDOW", False);
    XSetWMProtocols(display, window, &delete_window, 1);
    if (with_pid) {
        long pid = getpid();
        XChangeProperty(display, window, XInternAtom(display, "_NET_WM_PID", False), XA_CARDINAL, 32,
                        PropModeReplace, (unsigned char *)&pid, 1);
    }
    Atom window_type = XInternAtom(display, type, False);
    XChangeProperty(display, window, XInternAtom(display, "_NET_WM_WINDOW_TYPE", False), XA_ATOM, 32,
                    PropModeReplace, (unsigned char *)&window_type, 1);
    if (no_minimize) {
        Atom hints_atom = XInternAtom(display, "_MOTIF_WM_HINTS", False);
        long hints[5] = { MwmHintsFunctions | MwmHintsDecorations, MwmFuncMove | MwmFuncClose,
                          MwmDecorBorder | MwmDecorTitle | MwmDecorMenu, 0, 0 };
        XChangeProperty(display, window, hints_atom, hints_atom, 32, PropModeReplace, (unsigned char *)hints, 5);
    }
    return window;
}

int main(int argc, char **argv)
{
    alarm(60);
    const char *name = strrchr(argv[0], '/') ? strrchr(argv[0], '/') + 1 : argv[0];
    char line[8192];
    char folder[PATH_MAX] = "?";
    if (!getcwd(folder, sizeof folder))
        strcpy(folder, "?");
    int used = snprintf(line, sizeof line, "start %d %s", (int)getpid(), folder);
    for (int i = 1; i < argc && used > 0 && (size_t)used < sizeof line; ++i)
        used += snprintf(line + used, sizeof line - used, "|%s", argv[i]);
    if (used > 0 && (size_t)used < sizeof line - 1)
        strcpy(line + used, "\n");
    log_line(line);

    if (starts_with(name, "quitter"))
        return 0;
    if (starts_with(name, "nowindow")) {
        for (;;)
            pause();
    }
    Display *display = XOpenDisplay(NULL);
    if (!display)
        return 1;
    int splash = starts_with(name, "splash");
    int late = starts_with(name, "late");
    int with_pid = !starts_with(name, "nopid");
    Window first = None;
    if (splash || late) {
        first = make_window(display, "xclient splash", "_NET_WM_WINDOW_TYPE_SPLASH", with_pid, 1, 300);
        log_window("splash", first);
        XMapWindow(display, first);
        XFlush(display);
    }
    int palette = starts_with(name, "palette");
    Window main_window = make_window(display, name, palette ? "_NET_WM_WINDOW_TYPE_TOOLBAR" : "_NET_WM_WINDOW_TYPE_NORMAL",
                                     with_pid, palette, 40);
    Atom protocols = XInternAtom(display, "WM_PROTOCOLS", False);
    Atom delete_window = XInternAtom(display, "WM_DELETE_WINDOW", False);
    int main_mapped = 0;
    if (!late) {
        log_window("main", main_window);
        XMapWindow(display, main_window);
        main_mapped = 1;
    }
    XFlush(display);

    for (;;) {
        if (!main_mapped && XPending(display) == 0) {
            struct pollfd connection = { ConnectionNumber(display), POLLIN, 0 };
            if (poll(&connection, 1, 3000) == 0) {
                log_window("main", main_window);
                XMapWindow(display, main_window);
                XFlush(display);
                main_mapped = 1;
            }
            continue;
        }
        XEvent event;
        XNextEvent(display, &event);
        if (event.type == ClientMessage && event.xclient.message_type == protocols
            && (Atom)event.xclient.data.l[0] == delete_window) {
            log_window("close", event.xclient.window);
            break;
        }
    }
    XCloseDisplay(display);
    snprintf(line, sizeof line, "exit %d\n", (int)getpid());
    log_line(line);
    return 0;
}
