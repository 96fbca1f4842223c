"""A small clipboard manager for the tests: it owns CLIPBOARD_MANAGER, as
the desktop's clipboard managers do, and either answers a request to save
the clipboard (SAVE_TARGETS) by fetching the clipboard's text into a file,
or never answers at all.

  python3 clipboard_manager.py answer OUT_FILE
  python3 clipboard_manager.py never

It prints "ready" once it owns the selection.
"""
import ctypes
import ctypes.util
import os
import sys
import time

SELECTION_REQUEST, SELECTION_NOTIFY = 30, 31


class SelectionRequest(ctypes.Structure):
    _fields_ = [("type", ctypes.c_int), ("serial", ctypes.c_ulong), ("send_event", ctypes.c_int),
                ("display", ctypes.c_void_p), ("owner", ctypes.c_ulong),
                ("requestor", ctypes.c_ulong), ("selection", ctypes.c_ulong),
                ("target", ctypes.c_ulong), ("property", ctypes.c_ulong),
                ("time", ctypes.c_ulong)]


class Selection(ctypes.Structure):
    _fields_ = [("type", ctypes.c_int), ("serial", ctypes.c_ulong), ("send_event", ctypes.c_int),
                ("display", ctypes.c_void_p), ("requestor", ctypes.c_ulong),
                ("selection", ctypes.c_ulong), ("target", ctypes.c_ulong),
                ("property", ctypes.c_ulong), ("time", ctypes.c_ulong)]


class Event(ctypes.Union):
    _fields_ = [("type", ctypes.c_int), ("request", SelectionRequest),
                ("selection", Selection), ("pad", ctypes.c_long * 24)]


def xlib():
    x = ctypes.CDLL(ctypes.util.find_library("X11") or "libX11.so.6")
    x.XOpenDisplay.restype = ctypes.c_void_p
    x.XOpenDisplay.argtypes = [ctypes.c_char_p]
    x.XDefaultRootWindow.restype = ctypes.c_ulong
    x.XDefaultRootWindow.argtypes = [ctypes.c_void_p]
    x.XCreateSimpleWindow.restype = ctypes.c_ulong
    x.XCreateSimpleWindow.argtypes = [ctypes.c_void_p, ctypes.c_ulong, ctypes.c_int, ctypes.c_int,
                                      ctypes.c_uint, ctypes.c_uint, ctypes.c_uint, ctypes.c_ulong,
                                      ctypes.c_ulong]
    x.XInternAtom.restype = ctypes.c_ulong
    x.XInternAtom.argtypes = [ctypes.c_void_p, ctypes.c_char_p, ctypes.c_int]
    x.XSetSelectionOwner.argtypes = [ctypes.c_void_p, ctypes.c_ulong, ctypes.c_ulong,
                                     ctypes.c_ulong]
    x.XGetSelectionOwner.restype = ctypes.c_ulong
    x.XGetSelectionOwner.argtypes = [ctypes.c_void_p, ctypes.c_ulong]
    x.XFlush.argtypes = [ctypes.c_void_p]
    x.XNextEvent.argtypes = [ctypes.c_void_p, ctypes.POINTER(Event)]
    x.XConvertSelection.argtypes = [ctypes.c_void_p, ctypes.c_ulong, ctypes.c_ulong,
                                    ctypes.c_ulong, ctypes.c_ulong, ctypes.c_ulong]
    x.XSendEvent.argtypes = [ctypes.c_void_p, ctypes.c_ulong, ctypes.c_int, ctypes.c_long,
                             ctypes.POINTER(Event)]
    x.XGetWindowProperty.argtypes = [
        ctypes.c_void_p, ctypes.c_ulong, ctypes.c_ulong, ctypes.c_long, ctypes.c_long,
        ctypes.c_int, ctypes.c_ulong, ctypes.POINTER(ctypes.c_ulong),
        ctypes.POINTER(ctypes.c_int), ctypes.POINTER(ctypes.c_ulong),
        ctypes.POINTER(ctypes.c_ulong), ctypes.POINTER(ctypes.c_void_p)]
    x.XFree.argtypes = [ctypes.c_void_p]
    return x


def main():
    mode = sys.argv[1]
    x = xlib()
    d = x.XOpenDisplay(None)
    if not d:
        sys.exit("no display")
    win = x.XCreateSimpleWindow(d, x.XDefaultRootWindow(d), 0, 0, 1, 1, 0, 0, 0)

    def atom(name):
        return x.XInternAtom(d, name.encode(), 0)
    manager = atom("CLIPBOARD_MANAGER")
    x.XSetSelectionOwner(d, manager, win, 0)
    x.XFlush(d)
    if x.XGetSelectionOwner(d, manager) != win:
        sys.exit("CLIPBOARD_MANAGER is taken")
    print("ready", flush=True)
    if mode == "never":
        while True:
            time.sleep(3600)

    out = sys.argv[2]
    save_targets, clipboard, utf8, mine = (atom("SAVE_TARGETS"), atom("CLIPBOARD"),
                                           atom("UTF8_STRING"), atom("MANAGER_COPY"))
    ev = Event()
    while True:
        x.XNextEvent(d, ctypes.byref(ev))
        if ev.type != SELECTION_REQUEST:
            continue
        req = SelectionRequest.from_buffer_copy(ev.request)
        text = b""
        if req.target == save_targets:
            x.XConvertSelection(d, clipboard, utf8, mine, win, req.time)
            x.XFlush(d)
            while True:
                x.XNextEvent(d, ctypes.byref(ev))
                if ev.type == SELECTION_NOTIFY:
                    break
            if ev.selection.property:
                kind, fmt = ctypes.c_ulong(), ctypes.c_int()
                count, after, data = ctypes.c_ulong(), ctypes.c_ulong(), ctypes.c_void_p()
                x.XGetWindowProperty(d, win, mine, 0, 1 << 20, 1, 0, ctypes.byref(kind),
                                     ctypes.byref(fmt), ctypes.byref(count), ctypes.byref(after),
                                     ctypes.byref(data))
                if data.value:
                    text = ctypes.string_at(data.value, count.value)
                    x.XFree(data)
            with open(out + ".part", "wb") as f:
                f.write(text)
            os.replace(out + ".part", out)
        reply = Event()
        reply.selection = Selection(type=SELECTION_NOTIFY, send_event=1, display=d,
                                    requestor=req.requestor, selection=req.selection,
                                    target=req.target, property=req.property, time=req.time)
        x.XSendEvent(d, req.requestor, 0, 0, ctypes.byref(reply))
        x.XFlush(d)


if __name__ == "__main__":
    main()
