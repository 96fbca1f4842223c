"""Helpers for driving MERU (or any X11 program) in a test X session.

Standard library only: the X server is queried through libX11 with ctypes,
so waiting for a window costs one round trip per look instead of spawning
`xdotool search --sync` (which notices a map 100-130 ms late). xdotool is
used only to synthesise input (XTEST) and to activate windows.

Everything that waits has a time-out and raises TimeoutError with a message
that says what it was waiting for.
"""

import ctypes
import ctypes.util
import os
import re
import select
import shutil
import signal
import struct
import subprocess
import sys
import tempfile
import time

# --------------------------------------------------------------------------
# Xlib through ctypes

_Window = ctypes.c_ulong
_Atom = ctypes.c_ulong

_xlib = None


def _lib():
    global _xlib
    if _xlib is not None:
        return _xlib
    name = ctypes.util.find_library("X11") or "libX11.so.6"
    x = ctypes.CDLL(name)
    x.XOpenDisplay.restype = ctypes.c_void_p
    x.XOpenDisplay.argtypes = [ctypes.c_char_p]
    x.XCloseDisplay.argtypes = [ctypes.c_void_p]
    x.XDefaultRootWindow.restype = _Window
    x.XDefaultRootWindow.argtypes = [ctypes.c_void_p]
    x.XInternAtom.restype = _Atom
    x.XInternAtom.argtypes = [ctypes.c_void_p, ctypes.c_char_p, ctypes.c_int]
    x.XGetSelectionOwner.restype = _Window
    x.XGetSelectionOwner.argtypes = [ctypes.c_void_p, _Atom]
    x.XQueryTree.argtypes = [ctypes.c_void_p, _Window, ctypes.POINTER(_Window),
                             ctypes.POINTER(_Window),
                             ctypes.POINTER(ctypes.POINTER(_Window)),
                             ctypes.POINTER(ctypes.c_uint)]
    x.XFree.argtypes = [ctypes.c_void_p]
    x.XGetWindowAttributes.argtypes = [ctypes.c_void_p, _Window, ctypes.c_void_p]
    x.XGetWindowProperty.argtypes = [
        ctypes.c_void_p, _Window, _Atom, ctypes.c_long, ctypes.c_long, ctypes.c_int,
        _Atom, ctypes.POINTER(_Atom), ctypes.POINTER(ctypes.c_int),
        ctypes.POINTER(ctypes.c_ulong), ctypes.POINTER(ctypes.c_ulong),
        ctypes.POINTER(ctypes.c_void_p)]
    x.XTranslateCoordinates.argtypes = [
        ctypes.c_void_p, _Window, _Window, ctypes.c_int, ctypes.c_int,
        ctypes.POINTER(ctypes.c_int), ctypes.POINTER(ctypes.c_int),
        ctypes.POINTER(_Window)]
    x.XSelectInput.argtypes = [ctypes.c_void_p, _Window, ctypes.c_long]
    x.XPending.argtypes = [ctypes.c_void_p]
    x.XNextEvent.argtypes = [ctypes.c_void_p, ctypes.c_void_p]
    x.XConnectionNumber.argtypes = [ctypes.c_void_p]
    x.XSync.argtypes = [ctypes.c_void_p, ctypes.c_int]
    x.XFlush.argtypes = [ctypes.c_void_p]
    x.XSendEvent.argtypes = [ctypes.c_void_p, _Window, ctypes.c_int, ctypes.c_long,
                             ctypes.c_void_p]
    x.XSetErrorHandler.restype = ctypes.c_void_p
    x.XSetErrorHandler.argtypes = [ctypes.c_void_p]
    _xlib = x
    return x


# Windows come and go while we look at them: a request on a vanished window
# must not end the test (Xlib's default error handler calls exit()).
_ERROR_HANDLER_T = ctypes.CFUNCTYPE(ctypes.c_int, ctypes.c_void_p, ctypes.c_void_p)
_ignore_errors = _ERROR_HANDLER_T(lambda _d, _e: 0)


class _XWindowAttributes(ctypes.Structure):
    _fields_ = [("x", ctypes.c_int), ("y", ctypes.c_int),
                ("width", ctypes.c_int), ("height", ctypes.c_int),
                ("border_width", ctypes.c_int), ("depth", ctypes.c_int),
                ("visual", ctypes.c_void_p), ("root", _Window),
                ("c_class", ctypes.c_int), ("bit_gravity", ctypes.c_int),
                ("win_gravity", ctypes.c_int), ("backing_store", ctypes.c_int),
                ("backing_planes", ctypes.c_ulong), ("backing_pixel", ctypes.c_ulong),
                ("save_under", ctypes.c_int), ("colormap", ctypes.c_ulong),
                ("map_installed", ctypes.c_int), ("map_state", ctypes.c_int),
                ("all_event_masks", ctypes.c_long), ("your_event_mask", ctypes.c_long),
                ("do_not_propagate_mask", ctypes.c_long),
                ("override_redirect", ctypes.c_int), ("screen", ctypes.c_void_p)]


IS_UNMAPPED, IS_UNVIEWABLE, IS_VIEWABLE = 0, 1, 2

_CREATE_NOTIFY, _MAP_NOTIFY = 16, 19
_STRUCTURE_NOTIFY_MASK = 1 << 17
_SUBSTRUCTURE_NOTIFY_MASK = 1 << 19
_SUBSTRUCTURE_REDIRECT_MASK = 1 << 20
_CLIENT_MESSAGE = 33


class Display:
    """One Xlib connection to $DISPLAY (or the display given)."""

    def __init__(self, name=None):
        x = _lib()
        x.XSetErrorHandler(ctypes.cast(_ignore_errors, ctypes.c_void_p))
        disp = name if name is not None else os.environ.get("DISPLAY", "")
        self._d = x.XOpenDisplay(disp.encode() if disp else None)
        if not self._d:
            raise RuntimeError(f"cannot open X display {disp!r}")
        self._x = x
        self.root = x.XDefaultRootWindow(self._d)
        self._atoms = {}

    def close(self):
        if self._d:
            self._x.XCloseDisplay(self._d)
            self._d = None

    def __enter__(self):
        return self

    def __exit__(self, *exc):
        self.close()

    def atom(self, name):
        if name not in self._atoms:
            self._atoms[name] = self._x.XInternAtom(self._d, name.encode(), 0)
        return self._atoms[name]

    # -- queries --------------------------------------------------------
    def selection_owner(self, name):
        return self._x.XGetSelectionOwner(self._d, self.atom(name))

    def children(self, win):
        root, parent = _Window(), _Window()
        kids = ctypes.POINTER(_Window)()
        n = ctypes.c_uint()
        if not self._x.XQueryTree(self._d, win, ctypes.byref(root), ctypes.byref(parent),
                                  ctypes.byref(kids), ctypes.byref(n)):
            return []
        out = [kids[i] for i in range(n.value)]
        if kids:
            self._x.XFree(kids)
        return out

    def parent(self, win):
        root, parent = _Window(), _Window()
        kids = ctypes.POINTER(_Window)()
        n = ctypes.c_uint()
        if not self._x.XQueryTree(self._d, win, ctypes.byref(root), ctypes.byref(parent),
                                  ctypes.byref(kids), ctypes.byref(n)):
            return 0
        if kids:
            self._x.XFree(kids)
        return parent.value

    def walk(self, win=None):
        """Every window below win (default: the root), depth first."""
        stack = [self.root if win is None else win]
        while stack:
            w = stack.pop()
            for c in self.children(w):
                yield c
                stack.append(c)

    def attributes(self, win):
        a = _XWindowAttributes()
        if not self._x.XGetWindowAttributes(self._d, win, ctypes.byref(a)):
            return None
        return a

    def map_state(self, win):
        a = self.attributes(win)
        return IS_UNMAPPED if a is None else a.map_state

    def geometry(self, win):
        """(x, y, width, height) of win in root coordinates, or None."""
        a = self.attributes(win)
        if a is None:
            return None
        rx, ry, child = ctypes.c_int(), ctypes.c_int(), _Window()
        if not self._x.XTranslateCoordinates(self._d, win, self.root, 0, 0,
                                             ctypes.byref(rx), ctypes.byref(ry),
                                             ctypes.byref(child)):
            return None
        return (rx.value, ry.value, a.width, a.height)

    def property_bytes(self, win, prop, ptype=0):
        """Raw bytes of a window property of 8-bit format (b"" when absent)."""
        actual_type, actual_format = _Atom(), ctypes.c_int()
        nitems, after = ctypes.c_ulong(), ctypes.c_ulong()
        data = ctypes.c_void_p()
        ok = self._x.XGetWindowProperty(
            self._d, win, self.atom(prop), 0, 1 << 16, 0, ptype,
            ctypes.byref(actual_type), ctypes.byref(actual_format),
            ctypes.byref(nitems), ctypes.byref(after), ctypes.byref(data))
        if ok != 0 or not data.value:
            return b""
        try:
            if actual_format.value != 8:
                return b""
            return ctypes.string_at(data.value, nitems.value)
        finally:
            self._x.XFree(data)

    def property_cardinals(self, win, prop):
        """Values of a 32-bit-format window property (e.g. _NET_WM_PID)."""
        actual_type, actual_format = _Atom(), ctypes.c_int()
        nitems, after = ctypes.c_ulong(), ctypes.c_ulong()
        data = ctypes.c_void_p()
        ok = self._x.XGetWindowProperty(
            self._d, win, self.atom(prop), 0, 1024, 0, 0,
            ctypes.byref(actual_type), ctypes.byref(actual_format),
            ctypes.byref(nitems), ctypes.byref(after), ctypes.byref(data))
        if ok != 0 or not data.value:
            return []
        try:
            if actual_format.value != 32:
                return []
            # Xlib hands 32-bit items back as C longs
            arr = ctypes.cast(data.value, ctypes.POINTER(ctypes.c_long))
            return [arr[i] & 0xffffffff for i in range(nitems.value)]
        finally:
            self._x.XFree(data)

    def window_pid(self, win):
        pids = self.property_cardinals(win, "_NET_WM_PID")
        return pids[0] if pids else 0

    def window_name(self, win):
        name = self.property_bytes(win, "_NET_WM_NAME")
        if not name:
            name = self.property_bytes(win, "WM_NAME")
        return name.decode("utf-8", "replace")

    def window_class(self, win):
        """(instance, class) from WM_CLASS, or ("", "")."""
        parts = self.property_bytes(win, "WM_CLASS").split(b"\0")
        inst = parts[0].decode("utf-8", "replace") if parts else ""
        cls = parts[1].decode("utf-8", "replace") if len(parts) > 1 else ""
        return inst, cls

    # -- searches ---------------------------------------------------------
    def find_windows(self, name=None, wm_class=None, viewable=None, under=None,
                     managed=None):
        """Windows whose title matches the regular expression `name` (searched)
        and/or whose WM_CLASS instance or class equals `wm_class`; managed=True
        keeps only windows the window manager shows (WM_STATE NormalState),
        which leaves out e.g. a tray icon titled like its program."""
        rx = re.compile(name) if isinstance(name, str) else name
        found = []
        for w in self.walk(under):
            if rx is not None and not rx.search(self.window_name(w)):
                continue
            if wm_class is not None and wm_class not in self.window_class(w):
                continue
            if viewable is not None and (self.map_state(w) == IS_VIEWABLE) != viewable:
                continue
            if managed is not None and (wm_state(self, w) == NORMAL) != managed:
                continue
            found.append(w)
        return found

    def wait_window(self, name=None, wm_class=None, viewable=True, timeout=10.0,
                    interval=0.02, managed=None):
        """First window matching (see find_windows); polls until timeout."""
        deadline = time.monotonic() + timeout
        while True:
            found = self.find_windows(name, wm_class, viewable, managed=managed)
            if found:
                return found[0]
            if time.monotonic() >= deadline:
                raise TimeoutError(f"no {'viewable ' if viewable else ''}window "
                                   f"name~{name!r} class={wm_class!r} within {timeout} s")
            time.sleep(interval)

    def wait_gone(self, win, timeout=10.0, interval=0.02):
        """Wait until win is no longer viewable (unmapped or destroyed)."""
        deadline = time.monotonic() + timeout
        while self.map_state(win) == IS_VIEWABLE:
            if time.monotonic() >= deadline:
                raise TimeoutError(f"window 0x{win:x} still viewable after {timeout} s")
            time.sleep(interval)

    def frame_of(self, win):
        """The top-level ancestor of win (the window manager's frame)."""
        while True:
            p = self.parent(win)
            if p in (0, self.root):
                return win
            win = p

    # -- actions ------------------------------------------------------------
    def close_window(self, win):
        """Ask win to close as the title bar's close box does (WM_DELETE_WINDOW)."""
        ev = (ctypes.c_long * 24)()
        # XClientMessageEvent: type, serial, send_event, display, window,
        # message_type, format, then data.l[5]
        raw = struct.pack("iiQiiQQQi4xqqqqq", _CLIENT_MESSAGE, 0, 0, 1, 0, 0, win,
                          self.atom("WM_PROTOCOLS"), 32,
                          self.atom("WM_DELETE_WINDOW"), 0, 0, 0, 0)
        ctypes.memmove(ev, raw, len(raw))
        self._x.XSendEvent(self._d, win, 0, 0, ev)
        self._x.XFlush(self._d)

    def sync(self):
        self._x.XSync(self._d, 0)


class MapWatcher:
    """Low-latency detection of a top-level window being mapped.

    Opened before the program is spawned; it listens for the creation of
    top-level windows (SubstructureNotify on the root), subscribes to each
    new one's MapNotify and reports the first whose title matches once it
    is viewable. Latency is one event round trip (well under 1 ms), plus a
    0.5 ms poll between the client's map and its frame's map.
    """

    def __init__(self, display):
        self.d = display
        x = display._x
        x.XSelectInput(display._d, display.root, _SUBSTRUCTURE_NOTIFY_MASK)
        x.XSync(display._d, 0)
        self._tracked = set()
        self._ev = (ctypes.c_long * 24)()

    def close(self):
        self.d._x.XSelectInput(self.d._d, self.d.root, 0)
        for w in self._tracked:
            self.d._x.XSelectInput(self.d._d, w, 0)
        self.d.sync()

    def _track(self, win):
        if win not in self._tracked:
            self._tracked.add(win)
            self.d._x.XSelectInput(self.d._d, win, _STRUCTURE_NOTIFY_MASK)

    def _matches(self, win, rx):
        if self.d.map_state(win) == IS_UNMAPPED:
            return False
        if not rx.search(self.d.window_name(win)):
            # the title lives on the client; a frame's is the client's copy
            return False
        # viewable = the window and its frame are mapped
        deadline = time.monotonic() + 2.0
        while self.d.map_state(win) != IS_VIEWABLE and time.monotonic() < deadline:
            time.sleep(0.0005)
        return self.d.map_state(win) == IS_VIEWABLE

    def wait(self, name, timeout=10.0, alive=None):
        """Block until a window whose title matches `name` is viewable;
        returns (monotonic time it was seen, window id). `alive` (optional
        callable) is checked between events so a program that dies early
        fails fast."""
        rx = re.compile(name)
        x, d = self.d._x, self.d._d
        fd = x.XConnectionNumber(d)
        deadline = time.monotonic() + timeout
        # windows that existed before we listened
        for w in self.d.children(self.d.root):
            self._track(w)
            for c in self.d.children(w):
                self._track(c)
        x.XSync(d, 0)
        for w in list(self._tracked):
            if self._matches(w, rx):
                return time.monotonic(), w
        while True:
            while x.XPending(d):
                x.XNextEvent(d, self._ev)
                etype = self._ev[0] & 0xffffffff
                win = self._ev[5]
                if etype == _CREATE_NOTIFY:
                    self._track(win)
                    x.XSync(d, 0)
                    if self._matches(win, rx):
                        return time.monotonic(), win
                elif etype == _MAP_NOTIFY and win in self._tracked:
                    if self._matches(win, rx):
                        return time.monotonic(), win
            left = deadline - time.monotonic()
            if left <= 0:
                raise TimeoutError(f"no window name~{name!r} mapped within {timeout} s")
            if alive is not None and not alive():
                raise RuntimeError(f"program ended before a window name~{name!r} mapped")
            select.select([fd], [], [], min(left, 0.05))


# --------------------------------------------------------------------------
# Processes and files

def wait_exit(proc, timeout=10.0):
    """Return proc's exit code, raising TimeoutError if it runs past timeout."""
    try:
        return proc.wait(timeout=timeout)
    except subprocess.TimeoutExpired:
        raise TimeoutError(f"pid {proc.pid} still running after {timeout} s") from None


def stop(proc, timeout=5.0):
    """End proc if it still runs: SIGTERM, then SIGKILL after timeout."""
    if proc.poll() is not None:
        return proc.returncode
    proc.send_signal(signal.SIGTERM)
    try:
        return proc.wait(timeout=timeout)
    except subprocess.TimeoutExpired:
        proc.kill()
        return proc.wait(timeout=timeout)


def wait_for(predicate, timeout=10.0, interval=0.02, what="condition"):
    """Poll predicate() until it returns a true value, which is returned."""
    deadline = time.monotonic() + timeout
    while True:
        v = predicate()
        if v:
            return v
        if time.monotonic() >= deadline:
            raise TimeoutError(f"{what} not met within {timeout} s")
        time.sleep(interval)


def holds_for(predicate, seconds, interval=0.01):
    """True when predicate() stays true for the whole period (polled); used to
    show that something does NOT happen, e.g. a hidden window coming back."""
    deadline = time.monotonic() + seconds
    while time.monotonic() < deadline:
        if not predicate():
            return False
        time.sleep(interval)
    return bool(predicate())


def read_bytes(path):
    with open(path, "rb") as f:
        return f.read()


def process_tree(pid):
    """pid and all its descendants (from /proc)."""
    kids = {}
    for entry in os.listdir("/proc"):
        if not entry.isdigit():
            continue
        try:
            with open(f"/proc/{entry}/stat", "rb") as f:
                stat = f.read()
        except OSError:
            continue
        ppid = int(stat[stat.rindex(b")") + 2:].split()[1])
        kids.setdefault(ppid, []).append(int(entry))
    out, todo = [], [pid]
    while todo:
        p = todo.pop()
        out.append(p)
        todo.extend(kids.get(p, []))
    return out


# --------------------------------------------------------------------------
# Input and screenshots

def xdotool(*args, timeout=10.0):
    """Run xdotool with args; returns its standard output (stripped)."""
    r = subprocess.run(["xdotool", *map(str, args)], capture_output=True, text=True,
                       timeout=timeout)
    if r.returncode != 0:
        raise RuntimeError(f"xdotool {' '.join(map(str, args))} failed: {r.stderr.strip()}")
    return r.stdout.strip()


def active_window():
    try:
        return int(xdotool("getactivewindow"))
    except RuntimeError:
        return 0


def activate(win, timeout=5.0):
    """Give win the input focus through the window manager and wait for it."""
    deadline = time.monotonic() + timeout
    while True:
        try:
            xdotool("windowactivate", win)
        except RuntimeError:
            pass
        if active_window() == win:
            return
        if time.monotonic() >= deadline:
            raise TimeoutError(f"window 0x{win:x} not active after {timeout} s")
        time.sleep(0.05)


def key(*keys, win=None):
    """Type keys (xdotool names, e.g. "Escape", "ctrl+3") with XTEST; when
    win is given it is activated first, so the keys reach it."""
    if win is not None:
        activate(win)
    xdotool("key", "--clearmodifiers", *keys)


def click(x, y, button=1, repeat=1):
    """Move the pointer to (x, y) and click there (repeat=2: double-click).
    One xdotool call, so the move reaches the server before the press
    (`mousemove --sync` would hang when the pointer is already there)."""
    args = ["mousemove", x, y, "click"]
    if repeat > 1:
        args += ["--repeat", repeat, "--delay", 80]
    xdotool(*args, button)


def screenshot(path, window=None):
    """Write a PNG of the whole screen (or of one window) to path."""
    os.makedirs(os.path.dirname(os.path.abspath(path)), exist_ok=True)
    target = "root" if window is None else str(window)
    subprocess.run(["/usr/bin/import", "-window", target, path], check=True,
                   capture_output=True, timeout=30)
    return path


def screenshot_region(path, geometry):
    """Crop of the screen: geometry = (x, y, width, height)."""
    x, y, w, h = geometry
    os.makedirs(os.path.dirname(os.path.abspath(path)), exist_ok=True)
    full = path + ".full.png"
    screenshot(full)
    subprocess.run(["/usr/bin/convert", full, "-crop", f"{w}x{h}+{x}+{y}", "+repage", path],
                   check=True, capture_output=True, timeout=30)
    os.unlink(full)
    return path


def pixel_colors(path):
    """Number of distinct colours in an image (a blank capture has one)."""
    r = subprocess.run(["/usr/bin/identify", "-format", "%k", path], capture_output=True,
                       text=True, check=True, timeout=30)
    return int(r.stdout.strip())


# --------------------------------------------------------------------------
# The clipboard, and what Ctrl+1..5 and `meru --select N` put on it

def copy_text(data, target=None):
    """Another program (xclip) copies the bytes `data` to the CLIPBOARD, as
    `target` (default: text)."""
    argv = ["xclip", "-selection", "clipboard", "-i"]
    if target:
        argv += ["-t", target]
    # xclip's child keeps its output open: never capture it
    subprocess.run(argv, input=data, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL,
                   timeout=10, check=True)


def read_clip(target=None):
    """The CLIPBOARD's content as bytes for `target` (default: text), or None
    when nobody holds it."""
    argv = ["xclip", "-o", "-selection", "clipboard"]
    if target:
        argv += ["-t", target]
    r = subprocess.run(argv, capture_output=True, timeout=10)
    return r.stdout if r.returncode == 0 else None


def act_until_clipboard(act, expected, what, read=read_clip, timeout=10.0, interval=0.1):
    """Runs act() and reads the clipboard (read()) until it holds `expected`.
    act is repeated only because it may come too early: a copy just made may
    not be captured yet, a shortcut may be taken a moment after MERU says it
    is, and doing it once more does no harm (it selects the same entry).
    Returns the number of tries; fails (AssertionError) with what the
    clipboard held last."""
    seen = []

    def check():
        act()
        seen.append(read())
        return seen[-1] == expected
    try:
        wait_for(check, timeout=timeout, interval=interval, what=what)
    except TimeoutError:
        raise AssertionError(f"{what}: the clipboard held {seen[-1]!r} after {len(seen)} "
                             f"tries in {timeout} s, expected {expected!r}") from None
    return len(seen)


def key_until_clipboard(keys, expected, focus, timeout=10.0):
    """`keys` (xdotool names, e.g. "ctrl+3") typed into the X11 window
    `focus`, another program than MERU, until the clipboard holds
    `expected`: shows that a global shortcut acts whichever program has the
    focus."""
    def press():
        activate(focus)
        xdotool("key", keys)
    return act_until_clipboard(press, expected, f"{keys} -> {expected!r}", timeout=timeout)


NOT_RUNNING = "no copy of MERU is running"


def run_select(n, run=None):
    """`meru --select n` (run(args) runs meru with args and returns its
    CompletedProcess; default: Config.meru here). Returns (exit code, stderr
    text)."""
    if run is None:
        r = subprocess.run([Config.meru, "--select", str(n)], capture_output=True,
                           timeout=60, stdin=subprocess.DEVNULL)
    else:
        r = run(["--select", str(n)])
    err = r.stderr.decode("utf-8", "replace") if isinstance(r.stderr, bytes) else r.stderr
    return r.returncode, err or ""


def select_until(n, expected, timeout=10.0, run=None, read=read_clip):
    """`meru --select n` until the clipboard holds `expected` (a copy just
    made may not be captured yet). Only a copy not answering yet is waited
    for (its command socket comes a little after its main window); any other
    failure of the command fails at once."""
    failed = []

    def select():
        code, err = run_select(n, run)
        if code != 0 and NOT_RUNNING not in err:
            raise AssertionError(f"meru --select {n} failed with {code}: {err.strip()}")
        failed[:] = [err.strip()] if code != 0 else []
    try:
        return act_until_clipboard(select, expected, f"--select {n} -> {expected!r}",
                                   read=read, timeout=timeout)
    except AssertionError as e:
        if not failed:
            raise
        raise AssertionError(f"{e}; the last --select said: {failed[0]}") from None


# --------------------------------------------------------------------------
# The tray

def tray_host_window(display):
    """The window that owns the system tray selection of screen 0 (0 if none)."""
    return display.selection_owner("_NET_SYSTEM_TRAY_S0")


def tray_icons(display, wm_class):
    """Viewable icon windows of program `wm_class` embedded in the tray:
    windows of that class that are not top-level (the tray host re-parents
    them into its own window)."""
    found = []
    for top in display.children(display.root):
        if wm_class in display.window_class(top):
            continue        # the program's own top-levels (unmanaged)
        for w in display.walk(top):
            if wm_class in display.window_class(w) and display.map_state(w) == IS_VIEWABLE:
                geo = display.geometry(w)
                # a managed top-level sits in a big WM frame; a tray icon is small
                if geo and geo[2] <= 64 and geo[3] <= 64:
                    found.append(w)
    return found


def wait_tray_icon(display, wm_class, timeout=10.0):
    icons = wait_for(lambda: tray_icons(display, wm_class), timeout=timeout,
                     what=f"tray icon of {wm_class!r}")
    return icons[0]


def top_levels(display):
    """The top-level windows on screen now."""
    return {t for t in display.children(display.root) if display.map_state(t) == IS_VIEWABLE}


def wait_new_top_level(display, wm_class, before, timeout=10.0):
    """A top-level window of program wm_class on screen now that was not on
    screen in `before` (a set from top_levels()): a pop-up menu or a tooltip,
    which are not managed by the window manager."""
    def look():
        for t in display.children(display.root):
            if (t not in before and wm_class in display.window_class(t)
                    and display.map_state(t) == IS_VIEWABLE):
                return t
        return 0
    return wait_for(look, timeout=timeout, what=f"a new top-level window of {wm_class!r}")


# --------------------------------------------------------------------------
# Finding a list on screen

def white_band(png):
    """The tallest band of rows holding a long run of white pixels (150 or more):
    the viewport of a list in a window's picture. Returns (left, top, right, bottom)."""
    ppm = subprocess.run(["/usr/bin/convert", png, "-depth", "8", "ppm:-"], check=True,
                         capture_output=True, timeout=30).stdout
    parts = ppm.split(maxsplit=4)
    w, h, data = int(parts[1]), int(parts[2]), parts[4]
    rows = []
    for y in range(h):
        line = data[y * w * 3:(y + 1) * w * 3]
        best, run, start, best_start = 0, 0, 0, 0
        for x in range(w):
            if line[x * 3:x * 3 + 3] == b"\xff\xff\xff":
                if run == 0:
                    start = x
                run += 1
                if run > best:
                    best, best_start = run, start
            else:
                run = 0
        rows.append((best, best_start))
    band, top, best_band = 0, 0, (0, 0, 0, 0)
    for y, (length, left) in enumerate(rows + [(0, 0)]):
        if length >= 150:
            if band == 0:
                top = y
            band += 1
        else:
            if band > best_band[3] - best_band[1]:
                best_band = (rows[top][1], top, rows[top][1] + rows[top][0], top + band)
            band = 0
    return best_band


def window_origin(win):
    """The true screen position of a (reparented) window's top-left corner."""
    out = subprocess.run(["xwininfo", "-id", str(win)], capture_output=True, text=True,
                         check=True, timeout=10).stdout
    x = int(re.search(r"Absolute upper-left X:\s+(-?\d+)", out).group(1))
    y = int(re.search(r"Absolute upper-left Y:\s+(-?\d+)", out).group(1))
    return x, y


WITHDRAWN, NORMAL, ICONIC = 0, 1, 3


def wm_state(display, win):
    """ICCCM WM_STATE of a client window (WITHDRAWN when absent)."""
    v = display.property_cardinals(win, "WM_STATE")
    return v[0] if v else WITHDRAWN


# --------------------------------------------------------------------------
# MERU

MERU_TITLE = "MERU version 2.2"


def main_title_rx(path):
    return "^" + re.escape(f"{MERU_TITLE} - [{path}]") + "$"


class Meru:
    """One meru process on a data file; used as a context manager it is
    always ended (SIGTERM, then SIGKILL) when the block is left."""

    def __init__(self, binary, data_file, cwd=None, extra_env=None, args=None):
        """argv is [binary, data_file], or [binary] + args when args is given,
        or [binary] alone when both are None. The title it waits for names
        data_file unchanged, else <cwd>/meru.mer (the default file)."""
        env = dict(os.environ)
        env.update(extra_env or {})
        if args is None:
            args = [] if data_file is None else [data_file]
        self.data_file = data_file
        if data_file is None:
            data_file = os.path.join(os.path.realpath(cwd or os.getcwd()), "meru.mer")
        self.title_path = data_file
        self.proc = subprocess.Popen([binary, *args], cwd=cwd, env=env,
                                     stdin=subprocess.DEVNULL)

    def __enter__(self):
        return self

    def __exit__(self, *exc):
        stop(self.proc)

    @property
    def pid(self):
        return self.proc.pid

    def alive(self):
        return self.proc.poll() is None

    def wait_main_window(self, display, timeout=15.0):
        deadline = time.monotonic() + timeout
        rx = re.compile(main_title_rx(self.title_path))
        while True:
            if not self.alive():
                raise RuntimeError(f"meru ended with {self.proc.returncode} before its "
                                   "main window appeared")
            found = display.find_windows(rx, viewable=True)
            if found:
                return found[0]
            if time.monotonic() >= deadline:
                raise TimeoutError(f"main window of {self.title_path} not shown in {timeout} s")
            time.sleep(0.02)

    def wait_exit(self, timeout=10.0):
        return wait_exit(self.proc, timeout)


def temp_dir(prefix="meru-e2e-"):
    """A fresh directory under the session's temporary folder."""
    return tempfile.mkdtemp(prefix=prefix)


def remove_tree(path):
    shutil.rmtree(path, ignore_errors=True)


# --------------------------------------------------------------------------
# Test scaffolding

def first_start_file():
    """The bytes a first start with no data file writes at Exit: tag, version
    22, no password, one empty page, no contacts, empty mail settings, twenty
    groups "Group n" without bookmarks, empty browser setting."""
    def counted(b):
        return bytes([len(b)]) + b
    out = counted(b"MER") + struct.pack("<i", 22) + b"\0" + b"\1\0" + b"\0"
    out += struct.pack("<i", 0) + b"\0\0"
    for n in range(1, 21):
        out += counted(b"Group %d" % n) + struct.pack("<i", 0)
    return out + b"\0\0"


class Config:
    meru = None
    meru_file = None
    artifacts = None


def test_main():
    """unittest.main for a test script run as
    `test_x.py --meru BIN --meru-file BIN --artifacts DIR [unittest args]`."""
    import argparse
    import sys
    import unittest
    ap = argparse.ArgumentParser(add_help=False)
    ap.add_argument("--meru", required=True)
    ap.add_argument("--meru-file", default=None)
    ap.add_argument("--artifacts", default=None)
    args, rest = ap.parse_known_args()
    Config.meru = os.path.abspath(args.meru)
    Config.meru_file = os.path.abspath(args.meru_file) if args.meru_file else None
    Config.artifacts = os.path.abspath(args.artifacts or tempfile.mkdtemp(prefix="e2e-artifacts-"))
    os.makedirs(Config.artifacts, exist_ok=True)
    unittest.main(argv=[sys.argv[0]] + rest, verbosity=2)


def _unittest_case():
    import unittest
    return unittest.TestCase


class MeruTestCase(_unittest_case()):
    """Each test gets a temporary folder (self.dir) and an X connection
    (self.d); every meru it starts through self.start() is ended when the
    test ends, and a failing test leaves a screenshot in the artifacts."""

    def setUp(self):
        self.dir = temp_dir()
        self.d = Display()
        self._merus = []
        self.addCleanup(self._cleanup)

    def _cleanup(self):
        if self._failed():
            try:
                screenshot(self.artifact(f"FAILED-{self.id().split('.')[-1]}.png"))
            except Exception as e:      # the screenshot is a courtesy
                print(f"(no failure screenshot: {e})", file=sys.stderr)
        for m in self._merus:
            stop(m.proc)
        self.d.close()
        remove_tree(self.dir)

    def _failed(self):
        """Whether this test (or one of its subtests) has failed so far."""
        result = getattr(getattr(self, "_outcome", None), "result", None)
        for t, _ in getattr(result, "errors", []) + getattr(result, "failures", []):
            if t is self or getattr(t, "test_case", None) is self:
                return True
        return False

    def artifact(self, name):
        return os.path.join(Config.artifacts, name)

    def path(self, name):
        return os.path.join(self.dir, name)

    def start(self, data_file=None, args=None, cwd=None):
        """Start meru on data_file (or with args as given), in cwd (default
        the test's folder)."""
        m = Meru(Config.meru, data_file, cwd=cwd or self.dir, args=args)
        self._merus.append(m)
        return m

    def start_shown(self, data_file):
        """Start meru and wait for its main window; returns (meru, window)."""
        m = self.start(data_file)
        return m, m.wait_main_window(self.d)


# --------------------------------------------------------------------------
# D-Bus (through gdbus, so the tests need no Python binding) and a
# StatusNotifierItem host

def parse_gvariant(text):
    """The value of GVariant text as gdbus prints it: tuples, lists, dicts,
    strings, numbers and booleans; variants are unwrapped and type
    annotations (uint32, @as, ...) skipped."""
    pos = 0

    def skip_space():
        nonlocal pos
        while pos < len(text) and text[pos] in " \n\t,":
            pos += 1

    def string():
        nonlocal pos
        quote = text[pos]
        pos += 1
        out = []
        while text[pos] != quote:
            if text[pos] == "\\":
                pos += 1
                esc = text[pos]
                if esc in "uU":
                    n = 4 if esc == "u" else 8
                    out.append(chr(int(text[pos + 1:pos + 1 + n], 16)))
                    pos += n
                else:
                    out.append({"n": "\n", "t": "\t", "r": "\r"}.get(esc, esc))
            else:
                out.append(text[pos])
            pos += 1
        pos += 1
        return "".join(out)

    def seq(close):
        nonlocal pos
        items = []
        skip_space()
        while text[pos] != close:
            items.append(value())
            skip_space()
        pos += 1
        return items

    def value():
        nonlocal pos
        skip_space()
        c = text[pos]
        if c == "(":
            pos += 1
            return tuple(seq(")"))
        if c == "[":
            pos += 1
            return seq("]")
        if c == "<":
            pos += 1
            v = value()
            skip_space()
            pos += 1            # ">"
            return v
        if c == "{":
            pos += 1
            out = {}
            skip_space()
            while text[pos] != "}":
                k = value()
                skip_space()
                pos += 1        # ":"
                out[k] = value()
                skip_space()
            pos += 1
            return out
        if c in "'\"":
            return string()
        if c == "b" and text[pos + 1:pos + 2] in ("'", '"'):
            pos += 1
            return string()
        if c == "@":            # a type annotation: @as, @a{sv}, ...
            m = re.compile(r"@[a-z{}()]+").match(text, pos)
            pos = m.end()
            return value()
        m = re.compile(r"[A-Za-z_][A-Za-z0-9_]*").match(text, pos)
        if m:
            word = m.group(0)
            pos = m.end()
            if word in ("true", "false"):
                return word == "true"
            if word == "nothing":
                return None
            return value()      # uint32 5, objectpath '/x', ...
        m = re.compile(r"-?(0x[0-9a-fA-F]+|[0-9.eE+-]+)").match(text, pos)
        if not m:
            raise ValueError(f"cannot read GVariant text at {pos}: {text[pos:pos + 40]!r}")
        pos = m.end()
        num = m.group(0)
        if "x" in num:
            return int(num, 16)
        return float(num) if any(ch in num for ch in ".eE") else int(num)

    v = value()
    skip_space()
    if pos != len(text):
        raise ValueError(f"trailing GVariant text: {text[pos:pos + 40]!r}")
    return v


def dbus_call(env, dest, path, method, *args, timeout=10.0):
    """Calls interface.method (method given as "iface.Method") of dest at
    path on the session bus named by env's DBUS_SESSION_BUS_ADDRESS; returns
    the reply as a Python tuple. Raises RuntimeError when the call fails."""
    r = subprocess.run(["gdbus", "call", "--session", "--dest", dest, "--object-path", path,
                        "--method", method, "--", *map(str, args)],
                       env=env, capture_output=True, text=True, timeout=timeout)
    if r.returncode != 0:
        raise RuntimeError(f"{method} on {dest}{path} failed: {r.stderr.strip()}")
    return parse_gvariant(r.stdout.strip())


def dbus_property(env, dest, path, interface, name):
    return dbus_call(env, dest, path, "org.freedesktop.DBus.Properties.Get",
                     interface, name)[0]


def dbus_pid(env, bus_name):
    """Process id of the connection that owns bus_name (0 when none does)."""
    try:
        return dbus_call(env, "org.freedesktop.DBus", "/org/freedesktop/DBus",
                         "org.freedesktop.DBus.GetConnectionUnixProcessID", bus_name)[0]
    except RuntimeError:
        return 0


_WATCHER = ("org.kde.StatusNotifierWatcher", "/StatusNotifierWatcher")

_PANEL_CONFIG = """<?xml version="1.0" encoding="UTF-8"?>
<channel name="xfce4-panel" version="1.0">
  <property name="configver" type="int" value="2"/>
  <property name="panels" type="array">
    <value type="int" value="1"/>
    <property name="panel-1" type="empty">
      <property name="position" type="string" value="p=6;x=0;y=0"/>
      <property name="length" type="uint" value="100"/>
      <property name="position-locked" type="bool" value="true"/>
      <property name="size" type="uint" value="32"/>
      <property name="icon-size" type="uint" value="24"/>
      <property name="plugin-ids" type="array">
        <value type="int" value="1"/>
      </property>
    </property>
  </property>
  <property name="plugins" type="empty">
    <property name="plugin-1" type="string" value="systray">
      <property name="square-icons" type="bool" value="true"/>
    </property>
  </property>
</channel>
"""


class SniHost:
    """A StatusNotifierItem host: a private D-Bus session bus with Xfce's
    panel on it, one panel across the top of the screen holding only its
    status tray, which runs org.kde.StatusNotifierWatcher and shows the items
    registered there. Programs started with `env` put their tray icon on it.
    Used as a context manager it is torn down when the block is left."""

    def __init__(self):
        self.dir = tempfile.mkdtemp(prefix="meru-sni-")
        self.bus = None
        self.panel = None
        self.env = None

    def __enter__(self):
        self.start()
        return self

    def __exit__(self, *exc):
        self.stop()

    def start(self, timeout=30.0):
        config = os.path.join(self.dir, "config")
        xml_dir = os.path.join(config, "xfce4", "xfconf", "xfce-perchannel-xml")
        os.makedirs(xml_dir)
        with open(os.path.join(xml_dir, "xfce4-panel.xml"), "w") as f:
            f.write(_PANEL_CONFIG)
        env = dict(os.environ)
        # the panel's settings daemon is started by the bus, with its
        # environment; no accessibility bus of GTK's
        env.update(XDG_CONFIG_HOME=config, NO_AT_BRIDGE="1", GTK_A11Y="none")
        env.pop("SESSION_MANAGER", None)
        sock = os.path.join(self.dir, "bus")
        with open(os.path.join(self.dir, "bus.log"), "w") as log:
            self.bus = subprocess.Popen(
                ["dbus-daemon", "--session", "--nofork", "--nopidfile", "--print-address=1",
                 "--address=unix:path=" + sock],
                env=env, stdout=subprocess.PIPE, stderr=log, start_new_session=True)
        ready, _, _ = select.select([self.bus.stdout], [], [], timeout)
        address = self.bus.stdout.readline().decode().strip() if ready else ""
        if not address:
            self.stop()
            raise RuntimeError("the private D-Bus session bus did not start")
        env["DBUS_SESSION_BUS_ADDRESS"] = address
        self.env = env
        self.start_panel(timeout)

    def start_panel(self, timeout=30.0):
        """Starts the panel (again) and waits until its status tray is the
        watcher's host."""
        with open(os.path.join(self.dir, "panel.log"), "a") as log:
            self.panel = subprocess.Popen(
                ["xfce4-panel", "--disable-wm-check", "--sm-client-disable"], env=self.env,
                stdout=subprocess.DEVNULL, stderr=log, start_new_session=True)
        try:
            wait_for(self.host_registered, timeout=timeout,
                     what="a StatusNotifierItem host on the watcher")
        except TimeoutError:
            log = self.log()
            self.stop()
            raise TimeoutError(f"xfce4-panel did not register its status tray:\n{log}") from None

    def host_registered(self):
        if self.panel.poll() is not None:
            raise RuntimeError(f"xfce4-panel ended (exit {self.panel.returncode}):\n{self.log()}")
        try:
            return dbus_property(self.env, *_WATCHER, "org.kde.StatusNotifierWatcher",
                                 "IsStatusNotifierHostRegistered")
        except RuntimeError:
            return False

    def items(self):
        """The items the watcher lists, each as (bus name, object path)."""
        try:
            names = dbus_property(self.env, *_WATCHER, "org.kde.StatusNotifierWatcher",
                                  "RegisteredStatusNotifierItems")
        except RuntimeError:
            return []
        out = []
        for entry in names:
            # "service/path", or a bare service name (the path then is the usual one)
            slash = entry.find("/")
            if slash < 0:
                out.append((entry, "/StatusNotifierItem"))
            else:
                out.append((entry[:slash], entry[slash:]))
        return out

    def items_of(self, pid):
        return [(n, p) for n, p in self.items() if dbus_pid(self.env, n) == pid]

    def panel_geometry(self, display):
        """(x, y, width, height) of the panel's window on screen."""
        def look():
            for w in display.find_windows(wm_class="xfce4-panel", viewable=True):
                geo = display.geometry(w)
                if geo and geo[2] >= 200:
                    return geo
            return None
        return wait_for(look, timeout=10, what="the panel on screen")

    def log(self):
        try:
            with open(os.path.join(self.dir, "panel.log")) as f:
                return f.read()[-2000:]
        except OSError:
            return ""

    @staticmethod
    def _end(proc):
        """Ends proc with its process group (the panel's plugins)."""
        if proc is None:
            return
        for sig in (signal.SIGTERM, signal.SIGKILL):
            try:
                os.killpg(proc.pid, sig)
            except ProcessLookupError:
                break
            try:
                proc.wait(timeout=3)
                break
            except subprocess.TimeoutExpired:
                continue

    def stop_panel(self):
        """Ends the panel and waits until its watcher has left the bus."""
        self._end(self.panel)

        def watcher_gone():
            try:
                dbus_call(self.env, "org.freedesktop.DBus", "/org/freedesktop/DBus",
                          "org.freedesktop.DBus.GetNameOwner", _WATCHER[0])
                return False
            except RuntimeError:
                return True
        wait_for(watcher_gone, timeout=10, what="the watcher gone with the panel")

    def stop(self):
        for proc in (self.panel, self.bus):
            self._end(proc)
        if self.bus is not None and self.bus.stdout:
            self.bus.stdout.close()
        self.panel = self.bus = None
        remove_tree(self.dir)


def image_rows(png):
    """(width, height, rows) of a PNG, each row bytes of RGB triples."""
    ppm = subprocess.run(["/usr/bin/convert", png, "-depth", "8", "ppm:-"], check=True,
                         capture_output=True, timeout=30).stdout
    parts = ppm.split(maxsplit=4)
    w, h, data = int(parts[1]), int(parts[2]), parts[4]
    return w, h, [data[y * w * 3:(y + 1) * w * 3] for y in range(h)]


def changed_box(before_png, after_png):
    """(x, y, width, height) around the pixels that differ between two
    pictures of the same size, or None when they are the same."""
    w, h, a = image_rows(before_png)
    w2, h2, b = image_rows(after_png)
    if (w, h) != (w2, h2):
        raise ValueError("pictures of different sizes")
    xs_, ys_ = [], []
    for y in range(h):
        if a[y] == b[y]:
            continue
        ys_.append(y)
        for x in range(w):
            if a[y][x * 3:x * 3 + 3] != b[y][x * 3:x * 3 + 3]:
                xs_.append(x)
    if not ys_:
        return None
    return (min(xs_), min(ys_), max(xs_) - min(xs_) + 1, max(ys_) - min(ys_) + 1)
