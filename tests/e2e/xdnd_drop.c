/* Drops files on the X window at a point of the screen the way a file
 * manager does (XDND, version 5, text/uri-list): the end-to-end suite uses it
 * to drop files on Ravolin's window under Wine, which turns an X drop into
 * WM_DROPFILES.
 *
 *   xdnd-drop X Y FILE...      (absolute paths; exit 0 once the drop is done)
 */
#include <X11/Xatom.h>
#include <X11/Xlib.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <time.h>

static Display* dpy;
static Window source;
static Atom a_aware, a_enter, a_position, a_status, a_drop, a_finished, a_selection, a_copy, a_uri;

/* The window at (x, y) that takes drops: the deepest one under the point, or
 * the first of its ancestors, that carries XdndAware. */
static Window drop_target(int x, int y) {
    Window root = DefaultRootWindow(dpy), w = root, child, found = None;
    int wx, wy;
    for (;;) {
        Atom type;
        int format;
        unsigned long n, rest;
        unsigned char* data = NULL;
        if (XGetWindowProperty(dpy, w, a_aware, 0, 1, False, AnyPropertyType, &type, &format, &n, &rest,
                               &data) == Success && type != None)
            found = w;
        if (data) XFree(data);
        if (!XTranslateCoordinates(dpy, root, w, x, y, &wx, &wy, &child) || child == None) return found;
        w = child;
    }
}

static void send(Window target, Atom type, long l1, long l2, long l3, long l4) {
    XEvent e;
    memset(&e, 0, sizeof e);
    e.xclient.type = ClientMessage;
    e.xclient.window = target;
    e.xclient.message_type = type;
    e.xclient.format = 32;
    e.xclient.data.l[0] = (long)source;
    e.xclient.data.l[1] = l1;
    e.xclient.data.l[2] = l2;
    e.xclient.data.l[3] = l3;
    e.xclient.data.l[4] = l4;
    XSendEvent(dpy, target, False, NoEventMask, &e);
    XFlush(dpy);
}

/* Waits up to 10 s for a ClientMessage of `type`, answering requests for the
 * dropped data meanwhile. */
static int wait_for(Atom type, const char* uris, XEvent* got) {
    time_t end = time(NULL) + 10;
    while (time(NULL) < end) {
        if (!XPending(dpy)) {
            struct timespec t = {0, 20000000};
            nanosleep(&t, NULL);
            continue;
        }
        XEvent e;
        XNextEvent(dpy, &e);
        if (e.type == SelectionRequest) {
            XSelectionRequestEvent* r = &e.xselectionrequest;
            XEvent reply;
            memset(&reply, 0, sizeof reply);
            reply.xselection.type = SelectionNotify;
            reply.xselection.requestor = r->requestor;
            reply.xselection.selection = r->selection;
            reply.xselection.target = r->target;
            reply.xselection.time = r->time;
            reply.xselection.property = None;
            if (r->target == a_uri) {
                XChangeProperty(dpy, r->requestor, r->property, a_uri, 8, PropModeReplace,
                                (const unsigned char*)uris, (int)strlen(uris));
                reply.xselection.property = r->property;
            }
            XSendEvent(dpy, r->requestor, False, NoEventMask, &reply);
            XFlush(dpy);
        } else if (e.type == ClientMessage && e.xclient.message_type == type) {
            *got = e;
            return 1;
        }
    }
    return 0;
}

int main(int argc, char** argv) {
    if (argc < 4) {
        fprintf(stderr, "usage: xdnd-drop X Y FILE...\n");
        return 2;
    }
    dpy = XOpenDisplay(NULL);
    if (!dpy) {
        fprintf(stderr, "xdnd-drop: no display\n");
        return 1;
    }
    a_aware = XInternAtom(dpy, "XdndAware", False);
    a_enter = XInternAtom(dpy, "XdndEnter", False);
    a_position = XInternAtom(dpy, "XdndPosition", False);
    a_status = XInternAtom(dpy, "XdndStatus", False);
    a_drop = XInternAtom(dpy, "XdndDrop", False);
    a_finished = XInternAtom(dpy, "XdndFinished", False);
    a_selection = XInternAtom(dpy, "XdndSelection", False);
    a_copy = XInternAtom(dpy, "XdndActionCopy", False);
    a_uri = XInternAtom(dpy, "text/uri-list", False);

    static char uris[65536];
    size_t used = 0;
    for (int i = 3; i < argc; ++i) {
        int n = snprintf(uris + used, sizeof uris - used, "file://%s\r\n", argv[i]);
        if (n < 0 || (size_t)n >= sizeof uris - used) {
            fprintf(stderr, "xdnd-drop: too many files\n");
            return 2;
        }
        used += (size_t)n;
    }
    const int x = atoi(argv[1]), y = atoi(argv[2]);
    source = XCreateSimpleWindow(dpy, DefaultRootWindow(dpy), 0, 0, 1, 1, 0, 0, 0);
    XSetSelectionOwner(dpy, a_selection, source, CurrentTime);
    Window target = drop_target(x, y);
    if (target == None) {
        fprintf(stderr, "xdnd-drop: no window at %d,%d takes drops\n", x, y);
        return 1;
    }
    XEvent e;
    send(target, a_enter, 5L << 24, (long)a_uri, 0, 0);
    send(target, a_position, 0, ((long)x << 16) | y, CurrentTime, (long)a_copy);
    if (!wait_for(a_status, uris, &e) || !(e.xclient.data.l[1] & 1)) {
        fprintf(stderr, "xdnd-drop: the window at %d,%d refuses the drop\n", x, y);
        return 1;
    }
    send(target, a_drop, 0, CurrentTime, 0, 0);
    if (!wait_for(a_finished, uris, &e)) {
        fprintf(stderr, "xdnd-drop: the drop was not finished\n");
        return 1;
    }
    XCloseDisplay(dpy);
    return 0;
}
