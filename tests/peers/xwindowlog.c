/* xwindowlog: writes one line for every window created on, mapped on or reparented away from the
   root window of the display, until it is killed:
       create|map|reparent WINDOW PID
   PID is the process of the client that made the window (X-Resource extension), "?" when that
   client is already gone. The first line, "ready", says the watch is in place. */
#include <X11/Xlib.h>
#include <X11/extensions/XRes.h>
#include <stdio.h>

static long window_pid(Display *display, Window window)
{
    XResClientIdSpec wanted = { window, XRES_CLIENT_ID_PID_MASK };
    long count = 0, pid = -1;
    XResClientIdValue *values = NULL;
    if (XResQueryClientIds(display, 1, &wanted, &count, &values) != Success)
        return -1;
    for (long i = 0; i < count; i++)
        if (XResGetClientIdType(&values[i]) == XRES_CLIENT_ID_PID)
            pid = XResGetClientPid(&values[i]);
    XResClientIdsDestroy(count, values);
    return pid;
}

static int ignore_errors(Display *display, XErrorEvent *error)
{
    (void)display;
    (void)error;
    return 0;
}

int main(void)
{
    Display *display = XOpenDisplay(NULL);
    if (!display) {
        fprintf(stderr, "xwindowlog: no display\n");
        return 1;
    }
    XSetErrorHandler(ignore_errors);
    Window root = DefaultRootWindow(display);
    XSelectInput(display, root, SubstructureNotifyMask);
    XSync(display, False);
    printf("ready\n");
    fflush(stdout);
    for (;;) {
        XEvent event;
        XNextEvent(display, &event);
        const char *what = NULL;
        Window window = 0;
        if (event.type == CreateNotify && event.xcreatewindow.parent == root) {
            what = "create";
            window = event.xcreatewindow.window;
        } else if (event.type == MapNotify && event.xmap.event == root) {
            what = "map";
            window = event.xmap.window;
        } else if (event.type == ReparentNotify && event.xreparent.event == root) {
            what = "reparent";
            window = event.xreparent.window;
        }
        if (!what)
            continue;
        long pid = window_pid(display, window);
        if (pid < 0)
            printf("%s 0x%lx ?\n", what, window);
        else
            printf("%s 0x%lx %ld\n", what, window, pid);
        fflush(stdout);
    }
}
