"""The tray icon in a real XEmbed tray host (trayer): hiding the main window
into it, bringing it back with a double-click, the tooltip, and the icon's
menu, whose first item is "Restore main" and whose "Exit" saves and ends.

  run-xsession python3 test_tray.py --meru BIN --meru-file BIN --artifacts DIR
"""
import os
import sys

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import xsession as xs  # noqa: E402


class Tray(xs.MeruTestCase):

    def start_with_icon(self):
        m, win = self.start_shown(self.path("tray.mer"))
        icon = xs.wait_tray_icon(self.d, "meru", timeout=10)
        x, y, w, h = self.d.geometry(icon)
        return m, win, (x + w // 2, y + h // 2)

    def state(self, win):
        return f"map state {self.d.map_state(win)}, WM_STATE {xs.wm_state(self.d, win)}"

    def assert_in_tray(self, m, win):
        """Hidden as the tray hides: withdrawn (off screen, and not iconified,
        so there is no taskbar entry), and it stays so; the program runs on."""
        def withdrawn():
            return (self.d.map_state(win) != xs.IS_VIEWABLE
                    and xs.wm_state(self.d, win) == xs.WITHDRAWN)
        try:
            xs.wait_for(withdrawn, timeout=5, what="main window withdrawn")
        except TimeoutError:
            self.fail(f"main window not withdrawn into the tray: {self.state(win)}")
        self.assertTrue(xs.holds_for(withdrawn, 1.0),
                        f"main window came back by itself: {self.state(win)}")
        self.assertTrue(m.alive())

    def test_close_and_minimise_hide_and_double_click_restores(self):
        m, win, centre = self.start_with_icon()
        for how in ("close box", "minimise"):
            with self.subTest(how):
                if how == "close box":
                    self.d.close_window(win)
                else:
                    xs.xdotool("windowminimize", win)
                self.assert_in_tray(m, win)
                xs.click(*centre, repeat=2)
                # mapped first, then the window manager marks it normal
                xs.wait_for(lambda: (self.d.map_state(win) == xs.IS_VIEWABLE
                                     and xs.wm_state(self.d, win) == xs.NORMAL),
                            timeout=10, what="main window back and normal after the double-click")
        # the icon stays for the whole run
        self.assertTrue(xs.tray_icons(self.d, "meru"))

    def test_hovering_the_icon_shows_its_tooltip(self):
        m, win, centre = self.start_with_icon()
        before = xs.top_levels(self.d)
        # two moves: the pointer must enter the icon's window
        xs.xdotool("mousemove", centre[0] - 1, centre[1])
        xs.xdotool("mousemove", centre[0], centre[1])
        tip = xs.wait_new_top_level(self.d, "meru", before, timeout=10)
        # its text ("MERU version 2.2") is for people to read in the picture
        xs.screenshot_region(self.artifact("tray-tooltip.png"), self.d.geometry(tip))
        self.assertTrue(m.alive())

    def open_menu(self, centre):
        before = xs.top_levels(self.d)
        xs.click(*centre, button=3)
        return xs.wait_new_top_level(self.d, "meru", before)

    def test_menu_first_item_restores_main(self):
        m, win, centre = self.start_with_icon()
        self.d.close_window(win)
        self.assert_in_tray(m, win)

        menu = self.open_menu(centre)
        xs.screenshot(self.artifact("tray-menu-screen.png"))
        xs.screenshot_region(self.artifact("tray-menu.png"), self.d.geometry(menu))
        # Esc closes the menu and sends nothing
        xs.xdotool("key", "Escape")
        self.d.wait_gone(menu)
        self.assertNotEqual(self.d.map_state(win), xs.IS_VIEWABLE)

        # a right-click right after that, within the double-click time of the
        # one that opened the menu, opens it again (and so does the next one)
        for _ in range(2):
            menu = self.open_menu(centre)
            xs.xdotool("key", "Escape")
            self.d.wait_gone(menu)

        # (keys that choose an item): the first item, and the mnemonic R of
        # "&Restore main" (no other item of the menu has it)
        for keys in (("Down", "Return"), ("r",)):
            with self.subTest(keys=keys):
                if self.d.map_state(win) == xs.IS_VIEWABLE:
                    self.d.close_window(win)
                    self.assert_in_tray(m, win)
                menu = self.open_menu(centre)
                xs.xdotool("key", *keys)
                self.d.wait_gone(menu)
                xs.wait_for(lambda: self.d.map_state(win) == xs.IS_VIEWABLE, timeout=10,
                            what="main window restored from the menu")
        self.assertTrue(m.alive())

    def test_exit_from_the_menu_saves_and_ends(self):
        m, win, centre = self.start_with_icon()
        self.d.close_window(win)
        self.assert_in_tray(m, win)
        self.open_menu(centre)
        xs.xdotool("key", "e")          # "&Exit\tEsc"
        self.assertEqual(m.wait_exit(10), 0)
        self.assertEqual(xs.read_bytes(self.path("tray.mer")), xs.first_start_file())


if __name__ == "__main__":
    xs.test_main()
