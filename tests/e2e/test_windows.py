"""The windows' keys under a real X server and window manager.

Esc in an open pop-up (a combo list, the calendar, a list's menu) closes the
pop-up only; the window stays, and a second Esc hides it into the tray. At
1x and at 2x (QT_SCALE_FACTOR=2 on a 1920x1080 screen) every window and
dialog opens inside the screen; screenshots of each go to the artifacts.

  run-xsession python3 test_windows.py --meru BIN --meru-file BIN --artifacts DIR
"""
import os
import re
import subprocess
import sys
import time

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import xsession as xs  # noqa: E402

IS_VIEWABLE = 2
# Where a control is, as a fraction of its window's width: the centre of the
# main window's date arrow (x 62..69 of 272 template units), of its Password
# button (208..265) and of the notes window's "Pag." button (355..372 of 447).
MAIN_DATE_ARROW = 66.5 / 272
MAIN_PASSWORD = 236.5 / 272
MAIN_GAP = 69.0 / 272          # between the Appunti and Bookmarks buttons
NOTES_PAGE_LIST = 363.5 / 447


def poll(find, seconds):
    """find() once it is true within `seconds`, else None."""
    deadline = time.monotonic() + seconds
    while True:
        found = find()
        if found or time.monotonic() >= deadline:
            return found or None
        time.sleep(0.02)


def click_down_column(click, geometry, fx, find, from_bottom):
    """Clicks down (or up) the column at fraction fx of a window's width,
    a few pixels at a time, until find() holds: the way to a control whose
    height in pixels depends on the fonts. Only background, the control
    sought and harmless controls may lie in that column before it."""
    x, y, w, h = geometry
    step = max(3, h // 60)
    rows = range(h - 3, 0, -step) if from_bottom else range(2, h, step)
    for dy in rows:
        click(x + int(w * fx), y + dy)
        found = poll(find, 0.3)
        if found:
            return found
    raise AssertionError(f"nothing found down the column at {fx:.3f} of {geometry}")


def new_popup(d, before):
    """A top-level of meru mapped since `before` (a set from top_levels())."""
    def look():
        for t in d.children(d.root):
            if (t not in before and "meru" in d.window_class(t)
                    and d.map_state(t) == IS_VIEWABLE):
                return t
        return 0
    return look


class EscInPopups(xs.MeruTestCase):

    def open_clipboard_window(self, main_win):
        xs.key("alt+m", win=main_win)
        xs.key("c")
        xs.key("Return")        # "Open", the first item of the submenu
        clip = self.d.wait_window(r" - CLIPBOARD$", viewable=True, timeout=15)
        xs.activate(clip)
        return clip

    def test_esc_in_the_clipboard_entry_list(self):
        subprocess.run(["xclip", "-selection", "clipboard"], input=b"una voce", timeout=10,
                       check=True)
        m, win = self.start_shown(self.path("esc.mer"))
        clip = self.open_clipboard_window(win)
        # Into the editor (the middle of the window), then back to the entry
        # list before it in the tab order, and open the list.
        x, y, w, h = self.d.geometry(self.d.frame_of(clip))
        xs.click(x + w // 2, y + h // 2)
        xs.key("shift+Tab")
        before = xs.top_levels(self.d)
        xs.key("alt+Down")
        popup = xs.wait_new_top_level(self.d, "meru", before, timeout=10)
        xs.screenshot(self.artifact("clipboard-entry-list-open.png"))

        xs.key("Escape")
        xs.wait_for(lambda: self.d.map_state(popup) != IS_VIEWABLE, timeout=10,
                    what="the entry list closing")
        # The window stays: checked for a while, as a wrong hide comes late.
        self.assertTrue(xs.holds_for(lambda: self.d.map_state(clip) == IS_VIEWABLE, 0.5),
                        "Esc in the open list hid the clipboard window")

        xs.activate(clip)
        xs.key("Escape")
        xs.wait_for(lambda: self.d.map_state(clip) != IS_VIEWABLE, timeout=10,
                    what="the clipboard window hiding on the second Esc")
        self.assertTrue(m.alive())


    def esc_closes_only(self, popup, win, m):
        xs.key("Escape")
        xs.wait_for(lambda: self.d.map_state(popup) != IS_VIEWABLE, timeout=10,
                    what="the pop-up closing")
        # The window stays: checked for a while, as a wrong hide comes late.
        self.assertTrue(xs.holds_for(lambda: self.d.map_state(win) == IS_VIEWABLE, 0.5),
                        "Esc in the open pop-up hid its window")
        self.assertTrue(m.alive(), "Esc in the open pop-up ended the program")

    def test_esc_in_the_main_windows_calendar(self):
        m, win = self.start_shown(self.path("calendar.mer"))
        xs.activate(win)
        x0, y0 = xs.window_origin(win)
        _, _, w, h = self.d.geometry(win)
        before = xs.top_levels(self.d)
        popup = click_down_column(xs.click, (x0, y0, w, h), MAIN_DATE_ARROW,
                                  new_popup(self.d, before), from_bottom=True)
        xs.screenshot(self.artifact("main-calendar-open.png"))
        self.esc_closes_only(popup, win, m)

        # Without a pop-up, Esc in the main window is still Exit.
        xs.activate(win)
        xs.key("Escape")
        self.assertEqual(m.wait_exit(timeout=15), 0)

    def test_esc_in_the_bookmarks_group_list(self):
        m, main_win = self.start_shown(self.path("groups.mer"))
        xs.key("alt+m", win=main_win)
        xs.key("b")
        win = self.d.wait_window(r" - BOOKMARKS$", viewable=True, timeout=15)
        xs.activate(win)
        # Url has the focus; Mod, Cancella, Dir, then the group list.
        xs.key("Tab", "Tab", "Tab", "Tab")
        before = xs.top_levels(self.d)
        xs.key("alt+Down")
        popup = xs.wait_new_top_level(self.d, "meru", before, timeout=10)
        xs.screenshot(self.artifact("bookmarks-group-list-open.png"))
        self.esc_closes_only(popup, win, m)

        xs.activate(win)
        xs.key("Escape")
        xs.wait_for(lambda: self.d.map_state(win) != IS_VIEWABLE, timeout=10,
                    what="the bookmarks window hiding on the second Esc")

    def test_esc_in_the_contact_lists_menu(self):
        m, main_win = self.start_shown(self.path("list.mer"))
        xs.key("alt+m", win=main_win)
        xs.key("o")
        win = self.d.wait_window(r" - CONTACTS \[", viewable=True, timeout=15)
        xs.activate(win)
        # New Contacts has the focus; six more buttons, then the list.
        xs.key(*["Tab"] * 7)
        before = xs.top_levels(self.d)
        xs.key("Menu")
        popup = xs.wait_new_top_level(self.d, "meru", before, timeout=10)
        xs.screenshot(self.artifact("contacts-list-menu-open.png"))
        self.esc_closes_only(popup, win, m)

        xs.activate(win)
        xs.key("Escape")
        xs.wait_for(lambda: self.d.map_state(win) != IS_VIEWABLE, timeout=10,
                    what="the contacts window hiding on the second Esc")


class FitTheScreen(xs.MeruTestCase):
    """Each scale on an X server of its own (no window manager: the window
    itself must stay inside the screen). Every window and dialog is opened
    the way a user opens it, checked and closed again."""

    def own_server(self, size):
        r, w = os.pipe()
        server = subprocess.Popen(["Xvfb", "-displayfd", str(w), "-screen", "0", size,
                                   "-nolisten", "tcp"], pass_fds=(w,),
                                  stderr=subprocess.DEVNULL)
        os.close(w)
        self.addCleanup(xs.stop, server)
        with os.fdopen(r) as f:
            number = f.readline().strip()
        self.assertTrue(number, "Xvfb gave no display number")
        return ":" + number

    def check_scale(self, scale, size):
        name = self.own_server(size)
        width, height = (int(v) for v in size.split("x")[:2])
        env = {"DISPLAY": name, "QT_SCALE_FACTOR": str(scale)}

        def xdo(*args):
            subprocess.run(["xdotool", *map(str, args)], env={**os.environ, **env},
                           check=True, timeout=10, capture_output=True)

        def click(x, y, button=1):
            xdo("mousemove", x, y, "click", button)

        d2 = xs.Display(name)
        self.addCleanup(d2.close)
        data = self.path(f"fit{scale}.mer")
        m = xs.Meru(xs.Config.meru, data, cwd=self.dir, extra_env=env)
        self._merus.append(m)
        main = m.wait_main_window(d2)

        def check(label, rx, opener, focus=None):
            """Opens a window with opener() (after focusing `focus`), takes
            its picture and checks its frame against the screen; returns it."""
            if focus:
                xdo("windowfocus", "--sync", focus)
            before = xs.top_levels(d2)
            opener()
            win = d2.wait_window(rx, viewable=True, timeout=15)
            # The menu that opened it gone, the picture the same twice in a
            # row (a window just mapped still shows what was there before).
            others = new_popup(d2, before | {win})
            xs.wait_for(lambda: not others(), timeout=10, what="the menu closing")
            shot = self.artifact(f"{label}-{scale}x.png")
            last = shot + ".last.png"

            def steady():
                if os.path.exists(shot):
                    os.replace(shot, last)
                subprocess.run(["import", "-display", name, "-window", str(win), shot],
                               timeout=20, capture_output=True)
                if not os.path.exists(last) or not os.path.exists(shot):
                    return False
                diff = subprocess.run(["compare", "-metric", "AE", last, shot, "null:"],
                                      capture_output=True, text=True, timeout=20).stderr
                changed = float(diff.split()[0]) if diff.strip() else float("inf")
                _, _, ww, hh = d2.geometry(win)
                # (A ticking clock changes a few digits.)
                return xs.pixel_colors(shot) > 4 and changed * 200 <= ww * hh
            xs.wait_for(steady, timeout=15, interval=0.25, what=f"{label} drawn")
            os.remove(last)
            x, y, w, h = d2.geometry(win)
            with self.subTest(scale=scale, window=label):
                self.assertTrue(0 <= x and 0 <= y and x + w <= width and y + h <= height,
                                f"{label} at {scale}x: {(x, y, w, h)} outside {width}x{height}")
            return win

        def close(win):
            """Esc in a dialog: it goes."""
            xdo("windowfocus", "--sync", win)
            xdo("key", "Escape")
            xs.wait_for(lambda: d2.map_state(win) != IS_VIEWABLE, timeout=10,
                        what="the dialog closing")

        check("main", xs.main_title_rx(data), lambda: None)

        # The main window's own: the About box from the background's menu,
        # Password from its button (before any other window covers it).
        def about():
            x, y, w, h = d2.geometry(main)
            before = xs.top_levels(d2)
            click(x + int(w * MAIN_GAP), y + h - 3, 3)
            xs.wait_for(new_popup(d2, before), timeout=10, what="the background's menu")
            xdo("key", "m")     # "Infor&mazioni su MERU..."
        close(check("about", r"^About MERU$", about, focus=main))

        def password():
            click_down_column(click, d2.geometry(main), MAIN_PASSWORD,
                              lambda: d2.find_windows(r"^Password$", viewable=True),
                              from_bottom=False)
        close(check("password", r"^Password$", password, focus=main))

        def from_menu(*keys):
            return lambda: xdo("key", "alt+m", *keys)

        notes = check("notes", r" - NOTES - ", from_menu("n"), focus=main)

        def page_list():
            click_down_column(click, d2.geometry(notes), NOTES_PAGE_LIST,
                              lambda: d2.find_windows(r"^Page$", viewable=True),
                              from_bottom=True)
        close(check("page-list", r"^Page$", page_list, focus=notes))

        # (Tool windows stay open: without a tray or window manager, Esc would
        # only ask for them to be minimised. Each later window opens on top.)
        check("clipboard", r" - CLIPBOARD$", from_menu("c", "Return"), focus=main)

        # Bookmarks: Url has the focus; Dir is three buttons on.
        bookmarks = check("bookmarks", r" - BOOKMARKS$", from_menu("b"), focus=main)
        close(check("url", r"^Url$", lambda: xdo("key", "space"), focus=bookmarks))
        close(check("rename-group", r"^Rename Group$",
                    lambda: xdo("key", "Tab", "Tab", "Tab", "space"), focus=bookmarks))

        # Contacts: New Contacts has the focus, MAIL is five buttons on; in
        # the message the body has it, Settings is seven controls on.
        contacts = check("contacts", r" - CONTACTS \[", from_menu("o"), focus=main)
        close(check("contact", r"^Contacts$", lambda: xdo("key", "space"), focus=contacts))
        compose = check("compose", r"^MailTo$", lambda: xdo("key", *["Tab"] * 5, "space"),
                        focus=contacts)
        close(check("mail-settings", r"^Mail settings$",
                    lambda: xdo("key", *["Tab"] * 7, "space"), focus=compose))
        close(compose)

    def test_1x(self):
        self.check_scale(1, "1280x800x24")

    def test_2x(self):
        self.check_scale(2, "1920x1080x24")


if __name__ == "__main__":
    xs.test_main()
