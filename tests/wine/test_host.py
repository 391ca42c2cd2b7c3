"""The host window "程序安装": its place and look on start, the exit question on
a close request, and its banner through minimise and restore. The wizard is
loaded as part of the host's start, so each test waits for it first."""

from harness import HOST, WIZARD, WineTest, run_tests, wait_until

QUESTION_TITLE = "退出安装"
QUESTION = "确定退出此软件的安装吗？"
IDYES, IDNO = 6, 7
BLUE = (95, 145, 255)
CYAN = (0, 255, 255)


def rect(left, top, width, height):
    return {"left": left, "top": top, "width": width, "height": height}


class HostTest(WineTest):
    def open_host(self):
        program = self.start()
        self.d.wait_window(HOST)
        wait_until(lambda: self.d.window(WIZARD)["visible"], message="wizard shown over the host")
        # Maximised over the work area once showing has settled.
        return program, wait_until(self.settled_host, message="host maximised on its work area")

    def settled_host(self):
        w = self.d.window(HOST)
        return w if w["zoomed"] and w["visible"] and w["rect"] == w["work_area"] else None

    def banner_fills_client(self):
        client = self.d.window(HOST)["client"]
        banner = self.d.control(HOST, "标签1")
        return banner["rect"] == rect(0, 0, client["width"], client["height"])

    def test_starts_maximised_on_the_work_area_with_the_brand_top_right(self):
        _, host = self.open_host()
        self.assertEqual(host["caption"], HOST)
        self.assertEqual(host["name"], "HostWindow")
        self.assertIsNone(host["owner"])
        wait_until(self.banner_fills_client, message="banner over the client area")
        banner = self.d.control(HOST, "标签1")
        self.assertEqual(banner["text"], "Brenmoor")
        self.assertTrue(banner["visible"])

        c = host["client"]
        left, top, right, bottom = c["left"], c["top"], c["left"] + c["width"], c["top"] + c["height"]
        wait_until(lambda: tuple(self.d.call("pixel", left + 2, bottom - 3)) == BLUE,
                   message="blue backdrop painted")
        wait_until(lambda: self.session.screen_pixels("host-start").count(
            CYAN, (left + right) // 2, top, right, top + 120) > 50,
            message="cyan brand word in the top-right area")
        shot = self.session.screen_pixels("host-start")
        self.assertEqual(shot.count(CYAN, left, top, (left + right) // 2, bottom), 0,
                         "no cyan in the left half")
        # The wizard sits in the middle; the edges are backdrop.
        for name, (x0, y0, x1, y1) in {
            "left strip": (left, top, left + 100, bottom),
            "bottom strip": (left, bottom - 100, right, bottom),
            "right strip below the brand": (right - 100, top + 120, right, bottom),
        }.items():
            with self.subTest(region=name):
                total = len(range(y0, y1, 2)) * len(range(x0, x1, 2))
                self.assertEqual(shot.count(BLUE, x0, y0, x1, y1, step=2), total)

    def test_close_request_asks_once_no_keeps_yes_ends_with_zero(self):
        program, _ = self.open_host()

        self.d.call("close", HOST)
        box = self.d.wait_msgbox()
        self.assertEqual(box["count"], 1)
        self.assertEqual(box["box"]["title"], QUESTION_TITLE)
        self.assertEqual(box["box"]["text"], QUESTION)
        self.assertEqual({b["id"] for b in box["box"]["buttons"]}, {IDYES, IDNO})
        # Task-modal: the host takes no input while the question is open.
        self.assertFalse(self.d.window(HOST)["enabled"])

        self.d.call("msgbox_press", IDNO)
        wait_until(lambda: self.d.msgbox_count() == 0, message="question gone after No")
        wait_until(lambda: self.d.window(HOST)["enabled"], message="host enabled again")
        self.assertTrue(program.running())
        self.assertEqual(self.d.call("count_windows", HOST)["visible"], 1)
        self.assertTrue(self.settled_host())
        wizard = self.d.window(WIZARD)
        self.assertTrue(wizard["visible"] and wizard["enabled"], "No changed the wizard")

        self.d.call("close", HOST)
        self.assertEqual(self.d.wait_msgbox()["count"], 1)
        self.d.call("msgbox_press", IDYES)
        # A second question would keep the process alive past this wait.
        self.assertEqual(program.wait(), 0)
        self.assertEqual(self.d.msgbox_count(), 0)
        self.assertEqual(self.d.call("count_windows", HOST)["all"], 0)
        self.assertEqual(self.d.call("count_windows", WIZARD)["all"], 0)

    def test_minimise_shrinks_the_banner_and_restore_stretches_it_back(self):
        self.open_host()
        wait_until(self.banner_fills_client, message="banner over the client area")
        wizard_rect = self.d.window(WIZARD)["rect"]
        self.d.call("minimize", HOST)
        wait_until(lambda: self.d.window(HOST)["iconic"], message="host minimised")
        wait_until(lambda: (lambda b: b["rect"]["width"] == 0 and b["rect"]["height"] == 0)(
            self.d.control(HOST, "标签1")), message="banner 0 x 0 while minimised")
        # The owned wizard goes with its owner.
        wait_until(lambda: not self.d.window(WIZARD)["visible"], message="wizard hidden")

        self.d.call("restore", HOST)
        # Restored to maximised; the system, not the first show, places it now,
        # so its frame may lie outside the work area.
        wait_until(lambda: (lambda w: w["zoomed"] and not w["iconic"] and w["visible"])(
            self.d.window(HOST)), message="host maximised again")
        wait_until(self.banner_fills_client, message="banner over the client area again")
        # Maximised: the client area spans the work area below the title bar.
        host = self.d.window(HOST)
        client, work = host["client"], host["work_area"]
        self.assertEqual((client["left"], client["width"]), (work["left"], work["width"]))
        self.assertEqual(client["top"] + client["height"], work["top"] + work["height"])
        wait_until(lambda: self.d.window(WIZARD)["visible"], message="wizard shown again")
        self.assertEqual(self.d.window(WIZARD)["rect"], wizard_rect)


if __name__ == "__main__":
    run_tests()
