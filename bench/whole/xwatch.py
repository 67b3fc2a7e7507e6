#!/usr/bin/env python3
"""A tiny X client for the whole-program measurements (libX11 through
ctypes; no Python X binding needed). Run as its own process, so that the
measuring script's own work never delays it.

    xwatch.py ping WINDOW [--every 0.02] [--seconds 5]
        Sends WINDOW a _NET_WM_PING every --every seconds and waits for its
        echo on the root window: the round trip is how long the program's
        event loop took to come round. Prints one round trip per line
        (microseconds; -1 for one that never came back) until --seconds
        have passed or standard input closes.

    xwatch.py tray TRAY_WINDOW...
        Prints "ready", then the time (CLOCK_REALTIME ns) at which a window
        that was a child of the root window is mapped inside one of the
        given tray windows: the moment a tray icon shows. Gives up after
        20 s.
"""

import ctypes
import ctypes.util
import select
import sys
import time

X = ctypes.CDLL(ctypes.util.find_library("X11") or "libX11.so.6")
Window = ctypes.c_ulong
Atom = ctypes.c_ulong

SUBSTRUCTURE_NOTIFY = 1 << 19
STRUCTURE_NOTIFY = 1 << 17
MAP_NOTIFY, REPARENT_NOTIFY, CLIENT_MESSAGE = 19, 21, 33
IS_VIEWABLE = 2


class ClientMessage(ctypes.Structure):
    _fields_ = [("type", ctypes.c_int), ("serial", ctypes.c_ulong), ("send_event", ctypes.c_int),
                ("display", ctypes.c_void_p), ("window", Window), ("message_type", Atom),
                ("format", ctypes.c_int), ("l", ctypes.c_long * 5)]


class Reparent(ctypes.Structure):
    _fields_ = [("type", ctypes.c_int), ("serial", ctypes.c_ulong), ("send_event", ctypes.c_int),
                ("display", ctypes.c_void_p), ("event", Window), ("window", Window),
                ("parent", Window), ("x", ctypes.c_int), ("y", ctypes.c_int),
                ("override_redirect", ctypes.c_int)]


class Map(ctypes.Structure):
    _fields_ = [("type", ctypes.c_int), ("serial", ctypes.c_ulong), ("send_event", ctypes.c_int),
                ("display", ctypes.c_void_p), ("event", Window), ("window", Window),
                ("override_redirect", ctypes.c_int)]


class Event(ctypes.Union):
    _fields_ = [("type", ctypes.c_int), ("client", ClientMessage), ("reparent", Reparent),
                ("map", Map), ("pad", ctypes.c_long * 24)]


class Attributes(ctypes.Structure):
    # XWindowAttributes up to map_state; the rest is room.
    _fields_ = [("ints", ctypes.c_int * 6), ("visual", ctypes.c_void_p), ("root", Window),
                ("cls", ctypes.c_int), ("gravities", ctypes.c_int * 2), ("store", ctypes.c_int),
                ("planes", ctypes.c_ulong), ("pixel", ctypes.c_ulong),
                ("save_under", ctypes.c_int), ("colormap", ctypes.c_ulong),
                ("map_installed", ctypes.c_int), ("map_state", ctypes.c_int),
                ("pad", ctypes.c_long * 16)]


X.XOpenDisplay.restype = ctypes.c_void_p
X.XOpenDisplay.argtypes = [ctypes.c_char_p]
X.XDefaultRootWindow.restype = Window
X.XDefaultRootWindow.argtypes = [ctypes.c_void_p]
X.XInternAtom.restype = Atom
X.XInternAtom.argtypes = [ctypes.c_void_p, ctypes.c_char_p, ctypes.c_int]
X.XSelectInput.argtypes = [ctypes.c_void_p, Window, ctypes.c_long]
X.XSendEvent.argtypes = [ctypes.c_void_p, Window, ctypes.c_int, ctypes.c_long,
                         ctypes.POINTER(Event)]
X.XNextEvent.argtypes = [ctypes.c_void_p, ctypes.POINTER(Event)]
X.XPending.argtypes = [ctypes.c_void_p]
X.XFlush.argtypes = [ctypes.c_void_p]
X.XSync.argtypes = [ctypes.c_void_p, ctypes.c_int]
X.XConnectionNumber.argtypes = [ctypes.c_void_p]
X.XQueryTree.argtypes = [ctypes.c_void_p, Window, ctypes.POINTER(Window), ctypes.POINTER(Window),
                         ctypes.POINTER(ctypes.POINTER(Window)), ctypes.POINTER(ctypes.c_uint)]
X.XGetWindowAttributes.argtypes = [ctypes.c_void_p, Window, ctypes.POINTER(Attributes)]
X.XFree.argtypes = [ctypes.c_void_p]
# A window that goes away between two requests is no error worth dying for.
ERROR_HANDLER = ctypes.CFUNCTYPE(ctypes.c_int, ctypes.c_void_p, ctypes.c_void_p)(lambda d, e: 0)
X.XSetErrorHandler(ERROR_HANDLER)


def events(display, timeout):
    """Events until timeout seconds pass with none."""
    fd = X.XConnectionNumber(display)
    event = Event()
    deadline = time.monotonic() + timeout
    while True:
        while X.XPending(display):
            X.XNextEvent(display, ctypes.byref(event))
            yield event
        left = deadline - time.monotonic()
        if left <= 0 or not select.select([fd], [], [], left)[0]:
            if time.monotonic() >= deadline:
                return


def ping(display, window, every, seconds):
    root = X.XDefaultRootWindow(display)
    # Qt sends the echo to the root window with the structure mask, a
    # window manager with the substructure one.
    X.XSelectInput(display, root, SUBSTRUCTURE_NOTIFY | STRUCTURE_NOTIFY)
    protocols = X.XInternAtom(display, b"WM_PROTOCOLS", 0)
    net_wm_ping = X.XInternAtom(display, b"_NET_WM_PING", 0)
    end = time.monotonic() + seconds
    serial = 0
    while time.monotonic() < end:
        serial += 1
        message = Event()
        message.client.type = CLIENT_MESSAGE
        message.client.window = window
        message.client.message_type = protocols
        message.client.format = 32
        message.client.l[0] = net_wm_ping
        message.client.l[1] = serial
        message.client.l[2] = window
        sent = time.monotonic()
        X.XSendEvent(display, window, 0, 0, ctypes.byref(message))
        X.XFlush(display)
        rtt = -1
        for event in events(display, 2.0):
            if event.type == CLIENT_MESSAGE and event.client.l[0] == net_wm_ping \
                    and event.client.l[1] == serial:
                rtt = int((time.monotonic() - sent) * 1e6)
                break
        print(rtt, flush=True)
        time.sleep(max(0.0, sent + every - time.monotonic()))
        if select.select([sys.stdin], [], [], 0)[0] and not sys.stdin.readline():
            return


def ancestors(display, window):
    root, parent = Window(), Window()
    children, count = ctypes.POINTER(Window)(), ctypes.c_uint()
    found = []
    while window and X.XQueryTree(display, window, ctypes.byref(root), ctypes.byref(parent),
                                  ctypes.byref(children), ctypes.byref(count)):
        if children:
            X.XFree(children)
        found.append(window)
        window = parent.value if parent.value != root.value else 0
    return found


def tray(display, trays):
    root = X.XDefaultRootWindow(display)
    X.XSelectInput(display, root, SUBSTRUCTURE_NOTIFY)
    X.XSync(display, 0)
    print("ready", flush=True)
    docked = set()
    for event in events(display, 20.0):
        if event.type == REPARENT_NOTIFY and event.reparent.event == root:
            window = event.reparent.window
            if trays & set(ancestors(display, event.reparent.parent)):
                docked.add(window)
                X.XSelectInput(display, window, STRUCTURE_NOTIFY)
                attributes = Attributes()
                X.XGetWindowAttributes(display, window, ctypes.byref(attributes))
                if attributes.map_state == IS_VIEWABLE:
                    print(time.time_ns(), flush=True)
                    return 0
        elif event.type == MAP_NOTIFY and event.map.window in docked:
            print(time.time_ns(), flush=True)
            return 0
    return 1


def main():
    display = X.XOpenDisplay(None)
    if not display:
        sys.exit("xwatch: no display")
    if sys.argv[1] == "ping":
        every = float(sys.argv[sys.argv.index("--every") + 1]) if "--every" in sys.argv else 0.02
        seconds = float(sys.argv[sys.argv.index("--seconds") + 1]) \
            if "--seconds" in sys.argv else 5.0
        ping(display, int(sys.argv[2], 0), every, seconds)
        return 0
    if sys.argv[1] == "tray":
        return tray(display, {int(w, 0) for w in sys.argv[2:]})
    sys.exit("usage: xwatch.py ping WINDOW | tray TRAY_WINDOW...")


if __name__ == "__main__":
    sys.exit(main())
