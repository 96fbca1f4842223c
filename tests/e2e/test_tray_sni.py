"""The tray icon on a real StatusNotifierItem host: Xfce's panel with its
status tray, on a private D-Bus session bus. MERU's icon is registered with
the panel's watcher and drawn by the panel, with the current clip's number;
a left click on it in the panel brings the hidden main window back (the
panel passes any click on as one activation); the icon's menu, which the
panel reads over D-Bus, offers the tray menu's commands, and its first item
restores the main window, whether chosen in the panel's copy of the menu,
in MERU's own menu opened at the panel's request (ContextMenu, as swaybar
asks), or sent as a panel sends it; Exit from it saves and ends. The icon
comes back when the panel restarts. (The XEmbed tray is test_tray.py's.)

  run-xsession python3 test_tray_sni.py --meru BIN --meru-file BIN --artifacts DIR
"""
import os
import subprocess
import sys
import time

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import xsession as xs  # noqa: E402

ITEM = "org.kde.StatusNotifierItem"
MENU = "com.canonical.dbusmenu"

# The tray menu as the panel reads it: labels with the mnemonic as "_"
# (D-Bus menus' convention), separators as such; "ClipBoard" opens a submenu.
TRAY_MENU = [
    ("_Restore main", None),
    (None, "separator"),
    ("_Notes", None),
    ("_ClipBoard", "submenu"),
    ("_Bookmarks", None),
    ("C_ontacts", None),
    (None, "separator"),
    ("_Exit", None),
]
CLIPBOARD_MENU = ["Open", "Cancella Tutto", None, "ClipBoard 1", "ClipBoard 2",
                  "ClipBoard 3", "ClipBoard 4", "ClipBoard 5"]


class SniTray(xs.MeruTestCase):

    @classmethod
    def setUpClass(cls):
        cls.host = xs.SniHost()
        cls.host.start()
        try:
            with xs.Display() as d:
                cls.panel = cls.host.panel_geometry(d)
            # the pointer away from the panel, so nothing in it is highlighted
            xs.xdotool("mousemove", 640, 400)
            cls.empty_panel = xs.screenshot_region(
                os.path.join(xs.Config.artifacts, "sni-panel-empty.png"), cls.panel)
        except BaseException:
            cls.host.stop()
            raise

    @classmethod
    def tearDownClass(cls):
        cls.host.stop()

    def setUp(self):
        super().setUp()
        # the item of an earlier test is gone from the watcher and the panel
        xs.wait_for(lambda: not self.host.items(), timeout=10,
                    what="no item left on the watcher")
        xs.xdotool("mousemove", 640, 400)
        xs.wait_for(lambda: xs.changed_box(self.empty_panel, xs.screenshot_region(
            self.artifact("sni-panel.png"), self.panel)) is None,
            timeout=10, interval=0.1, what="the panel empty again")

    def start_on_host(self):
        """MERU with its icon on the panel: returns (meru, main window, the
        item's (bus name, object path))."""
        path = self.path("tray.mer")
        m = xs.Meru(xs.Config.meru, path, cwd=self.dir,
                    extra_env={"DBUS_SESSION_BUS_ADDRESS": self.host.env["DBUS_SESSION_BUS_ADDRESS"]})
        self._merus.append(m)
        win = m.wait_main_window(self.d)
        items = xs.wait_for(lambda: self.host.items_of(m.pid), timeout=10,
                            what="MERU's item on the watcher")
        self.assertEqual(len(items), 1, items)
        return m, win, items[0]

    def icon_centre(self):
        """Where the panel draws the icon: the part of the panel that changed
        since it was empty, once it has stopped changing."""
        last = [None]

        def settled():
            shot = xs.screenshot_region(self.artifact("sni-panel.png"), self.panel)
            box = xs.changed_box(self.empty_panel, shot)
            stable = box is not None and box == last[0]
            last[0] = box
            return box if stable else None
        x, y, w, h = xs.wait_for(settled, timeout=10, interval=0.1,
                                 what="MERU's icon drawn on the panel")
        # an icon, not a redrawn panel
        self.assertLessEqual(max(w, h), self.panel[3], (x, y, w, h))
        return self.panel[0] + x + w // 2, self.panel[1] + y + h // 2

    def hide(self, m, win):
        """Closes the main window into the tray and checks it stays there."""
        self.d.close_window(win)

        def withdrawn():
            return (self.d.map_state(win) != xs.IS_VIEWABLE
                    and xs.wm_state(self.d, win) == xs.WITHDRAWN)
        xs.wait_for(withdrawn, timeout=5, what="main window withdrawn into the tray")
        self.assertTrue(xs.holds_for(withdrawn, 1.0), "main window came back by itself")
        self.assertTrue(m.alive())

    def wait_restored(self, win, how):
        # mapped first, then the window manager marks it normal: wait for both
        xs.wait_for(lambda: (self.d.map_state(win) == xs.IS_VIEWABLE
                             and xs.wm_state(self.d, win) == xs.NORMAL),
                    timeout=10, what=f"main window back and normal after {how}")

    def menu_layout(self, item):
        name, path = item
        menu_path = xs.dbus_property(self.host.env, name, path, ITEM, "Menu")
        _rev, root = xs.dbus_call(self.host.env, name, menu_path, MENU + ".GetLayout",
                                  0, -1, "[]")
        return menu_path, root

    def test_registers_and_a_left_click_on_the_panel_restores(self):
        m, win, item = self.start_on_host()
        name, path = item
        props = {p: xs.dbus_property(self.host.env, name, path, ITEM, p)
                 for p in ("Status", "ItemIsMenu", "ToolTip")}
        self.assertEqual(props["Status"], "Active")
        # a click is an activation, not a request for the menu
        self.assertFalse(props["ItemIsMenu"])
        # ToolTip = (icon name, icon pixmaps, title, text)
        self.assertIn(xs.MERU_TITLE, props["ToolTip"][2:])

        centre = self.icon_centre()
        xs.screenshot(self.artifact("sni-panel-screen.png"))
        for how in ("close box", "minimise"):
            with self.subTest(how):
                if how == "close box":
                    self.hide(m, win)
                else:
                    xs.xdotool("windowminimize", win)
                    xs.wait_for(lambda: xs.wm_state(self.d, win) == xs.WITHDRAWN, timeout=5,
                                what="minimised main window withdrawn into the tray")
                xs.click(*centre)
                self.wait_restored(win, "a left click on the panel's icon")
        # the icon stays registered for the whole run
        self.assertEqual(self.host.items_of(m.pid), [item])

    def icon_picture(self, centre, name):
        """A picture of the panel around the icon."""
        x, y = centre
        h = self.panel[3]
        return xs.screenshot_region(self.artifact(name), (max(0, x - h // 2), self.panel[1], h, h))

    def test_icon_shows_the_current_clip(self):
        m, win, item = self.start_on_host()
        centre = self.icon_centre()
        plain = self.icon_picture(centre, "sni-icon-plain.png")
        # a copy in another program becomes entry 1: the icon shows its number
        with subprocess.Popen(["xclip", "-selection", "clipboard"], stdin=subprocess.PIPE,
                              stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL) as clip:
            clip.stdin.write(b"copied elsewhere")
            clip.stdin.close()
            xs.wait_for(lambda: xs.changed_box(plain, self.icon_picture(centre, "sni-icon-1.png")),
                        timeout=10, interval=0.1, what="the panel's icon changed by the copy")
            clip.terminate()
        self.assertTrue(m.alive())

    def test_icon_comes_back_when_the_panel_restarts(self):
        m, win, item = self.start_on_host()
        self.host.stop_panel()
        self.host.start_panel()
        items = xs.wait_for(lambda: self.host.items_of(m.pid), timeout=10,
                            what="MERU's item on the new panel's watcher")
        self.assertEqual(len(items), 1, items)
        self.assertEqual(self.host.panel_geometry(self.d), self.panel)
        centre = self.icon_centre()
        self.hide(m, win)
        xs.click(*centre)
        self.wait_restored(win, "a left click on the restarted panel's icon")

    def test_menu_offers_the_tray_commands(self):
        m, win, item = self.start_on_host()
        _path, (_id, _props, children) = self.menu_layout(item)
        top = [(c[1].get("label", "").split("\t")[0] or None,
                c[1].get("type") or c[1].get("children-display")) for c in children]
        top = [(label, kind if kind in ("separator", "submenu") else None)
               for label, kind in top]
        self.assertEqual(top, TRAY_MENU)
        clip = children[3][2]
        self.assertEqual([c[1].get("label", "").split("\t")[0] or None for c in clip],
                         CLIPBOARD_MENU)
        # the bold default item of the XEmbed menu has no D-Bus counterpart;
        # what matters is that each item is enabled and visible
        for c in children:
            self.assertTrue(c[1].get("enabled", True) and c[1].get("visible", True), c)

    def test_first_menu_item_restores(self):
        m, win, item = self.start_on_host()
        menu_path, (_id, _props, children) = self.menu_layout(item)
        first_id = children[0][0]
        centre = self.icon_centre()

        def no_menu_of_meru(before):
            return not [t for t in xs.top_levels(self.d) - before
                        if "meru" in self.d.window_class(t)]

        # the ways a panel offers the menu: its own copy (Xfce, Plasma), or
        # the item's, asked for with ContextMenu (swaybar); and the item
        # chosen by the panel on the user's behalf
        for how in ("the panel's menu", "the item's own menu", "a clicked event"):
            with self.subTest(how):
                self.hide(m, win)
                before = xs.top_levels(self.d)
                if how == "the panel's menu":
                    xs.click(*centre, button=3)
                    popup = xs.wait_new_top_level(self.d, "wrapper-2.0", before)
                    xs.screenshot_region(self.artifact("sni-menu.png"), self.d.geometry(popup))
                    # one menu: the panel's copy, not MERU's as well
                    self.assertTrue(xs.holds_for(lambda: no_menu_of_meru(before), 0.5),
                                    "MERU opened a menu of its own over the panel's")
                    xs.xdotool("key", "Down", "Return")
                    self.d.wait_gone(popup)
                elif how == "the item's own menu":
                    # right-clicked: the pointer is on the icon, whose place
                    # the panel passes on
                    xs.xdotool("mousemove", *centre)
                    xs.dbus_call(self.host.env, item[0], item[1], ITEM + ".ContextMenu",
                                 *centre)
                    popup = xs.wait_new_top_level(self.d, "meru", before)
                    xs.screenshot_region(self.artifact("sni-own-menu.png"),
                                         self.d.geometry(popup))
                    # at the pointer, or just off the panel the pointer is on
                    # (a pop-up keeps out of the panel's reserved strip)
                    px, py, pw, ph = self.d.geometry(popup)
                    dx = max(px - centre[0], 0, centre[0] - (px + pw))
                    dy = max(py - centre[1], 0, centre[1] - (py + ph))
                    self.assertLessEqual(max(dx, dy), self.panel[3],
                                         f"menu at {(px, py, pw, ph)}, away from the icon "
                                         f"at {centre}")
                    xs.xdotool("key", "Down", "Return")
                    self.d.wait_gone(popup)
                else:
                    # what a panel sends when the item is chosen
                    xs.dbus_call(self.host.env, item[0], menu_path, MENU + ".Event",
                                 first_id, "clicked", "<int32 0>", int(time.time()) & 0xffffffff)
                self.wait_restored(win, f"the first item chosen through {how}")
        self.assertTrue(m.alive())

    def test_exit_from_the_menu_saves_and_ends(self):
        m, win, item = self.start_on_host()
        menu_path, (_id, _props, children) = self.menu_layout(item)
        exit_id = children[-1][0]
        self.hide(m, win)
        xs.dbus_call(self.host.env, item[0], menu_path, MENU + ".Event",
                     exit_id, "clicked", "<int32 0>", 0)
        self.assertEqual(m.wait_exit(10), 0)
        self.assertEqual(xs.read_bytes(self.path("tray.mer")), xs.first_start_file())
        # the icon goes with the program
        xs.wait_for(lambda: not self.host.items(), timeout=10, what="the item removed")


if __name__ == "__main__":
    xs.test_main()
