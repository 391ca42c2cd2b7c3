"""The driver on its own, against qmsample: a window "驱动样例" whose controls
are named as the installer names them."""

import os

from harness import CHINESE, Config, DriverError, WineTest, run_tests, temp_folder, wait_until

SAMPLE = "驱动样例"
QUESTION = "样例提问"
IDYES, IDNO = 6, 7
BLUE = (95, 145, 255)


class SampleTest(WineTest):
    def open_sample(self):
        program = self.start()
        self.d.wait_window(SAMPLE)
        # The window exists a moment before its last control does.
        wait_until(lambda: "按钮2" in self.d.controls(SAMPLE), message="the sample's controls")
        return program

    def test_controls_are_found_by_name_with_their_places_and_texts(self):
        self.open_sample()
        window = self.d.window(SAMPLE)
        self.assertEqual(window["name"], "SampleWindow")
        self.assertEqual(window["rect"], {"left": 100, "top": 100, "width": 400, "height": 300})
        controls = self.d.controls(SAMPLE)
        self.assertEqual(set(controls), {"按钮1", "编辑框1", "按钮2", "标签1"})
        # name, class, rectangle in the window's client area, text
        table = [
            ("按钮1", "Button", (10, 10, 90, 26), "&Q.提问"),
            ("编辑框1", "Edit", (10, 50, 250, 24), ""),
            ("按钮2", "Button", (270, 50, 90, 26), "&B.浏览"),
            ("标签1", "Static", (10, 90, 200, 20), "样例标签"),
        ]
        client = window["client"]
        for name, cls, (left, top, width, height), text in table:
            with self.subTest(control=name):
                c = controls[name]
                self.assertEqual(c["class"], cls)
                self.assertEqual(c["rect"], {"left": left, "top": top, "width": width, "height": height})
                self.assertEqual(c["screen"]["left"], client["left"] + left)
                self.assertEqual(c["screen"]["top"], client["top"] + top)
                self.assertEqual(c["text"], text)
                self.assertTrue(c["visible"] and c["enabled"])
        self.assertEqual(self.d.control(SAMPLE, "标签1")["text"], "样例标签")
        with self.assertRaises(DriverError):
            self.d.control(SAMPLE, "按钮9")

    def test_pixels_read_inside_wine_match_the_screenshot(self):
        self.open_sample()
        client = self.d.window(SAMPLE)["client"]
        x, y = client["left"] + 300, client["top"] + 200
        wait_until(lambda: tuple(self.d.call("pixel", x, y)) == BLUE, message="blue background")
        shot = self.session.screen_pixels("driver-sample")
        self.assertEqual(shot.pixel(x, y), BLUE)
        self.assertGreater(shot.count(BLUE, client["left"], client["top"] + 130,
                                      client["left"] + client["width"],
                                      client["top"] + client["height"], step=4), 1000)

    def test_text_set_by_message_and_typed_by_keys(self):
        self.open_sample()
        self.d.call("set_text", SAMPLE, "编辑框1", "D:\\甲 乙\\x")
        self.d.wait_text(SAMPLE, "编辑框1", "eq", "D:\\甲 乙\\x")
        self.d.call("set_text", SAMPLE, "编辑框1", "")
        # Tab order: 按钮1, 编辑框1, 按钮2.
        wait_until(lambda: self.d.focus(SAMPLE) == "按钮1", message="focus on 按钮1")
        self.d.call("key", SAMPLE, "tab")
        wait_until(lambda: self.d.focus(SAMPLE) == "编辑框1", message="focus on 编辑框1")
        self.d.call("type", SAMPLE, "ab安装")
        self.d.wait_text(SAMPLE, "编辑框1", "eq", "ab安装")
        self.d.call("key", SAMPLE, "shift+tab")
        wait_until(lambda: self.d.focus(SAMPLE) == "按钮1", message="focus back on 按钮1")
        with self.assertRaises(DriverError):
            self.d.wait_text(SAMPLE, "编辑框1", "contains", "zz", timeout=0.3)

    def test_question_answered_no_then_yes(self):
        program = self.open_sample()
        ways_to_ask = [
            ("close request", lambda: self.d.call("close", SAMPLE)),
            ("BM_CLICK", lambda: self.d.call("click", SAMPLE, "按钮1")),
            ("mouse", lambda: self.d.call("mouse_click", SAMPLE, "按钮1")),
            ("access key", lambda: self.d.call("key", SAMPLE, "alt+q")),
        ]
        for how, ask in ways_to_ask:
            with self.subTest(how=how):
                ask()
                box = self.d.wait_msgbox()
                self.assertEqual(box["count"], 1)
                self.assertEqual(box["box"]["title"], QUESTION)
                self.assertEqual(box["box"]["text"], "要关闭样例窗口吗？")
                self.assertEqual({b["id"] for b in box["box"]["buttons"]}, {IDYES, IDNO})
                # Task-modal: the window is disabled while the box is open.
                self.assertFalse(self.d.window(SAMPLE)["enabled"])
                self.d.call("msgbox_press", IDNO)
                wait_until(lambda: self.d.msgbox_count() == 0, message="box gone")
                wait_until(lambda: self.d.window(SAMPLE)["enabled"], message="window enabled")
                self.assertTrue(program.running())
        self.d.call("close", SAMPLE)
        self.d.wait_msgbox()
        self.d.call("msgbox_press", IDYES)
        self.d.wait_gone(SAMPLE)
        self.assertEqual(program.wait(), 0)
        self.assertEqual(self.d.call("count_windows", SAMPLE), {"all": 0, "visible": 0})

    def test_minimise_and_restore(self):
        self.open_sample()
        self.d.call("minimize", SAMPLE)
        wait_until(lambda: self.d.window(SAMPLE)["iconic"], message="minimised")
        self.d.call("restore", SAMPLE)
        wait_until(lambda: (lambda w: not w["iconic"] and w["rect"]["width"] == 400)(
            self.d.window(SAMPLE)), message="restored")

    def test_folder_picker_selects_by_item_texts(self):
        root = temp_folder(self)
        # ASCII: without a generated zh_CN.UTF-8 locale Wine garbles other host names.
        os.mkdir(os.path.join(root, "Picked"))
        with self.drive("q", root):
            self.open_sample()
            self.d.call("click", SAMPLE, "按钮2")
            picker = self.d.wait_picker()
            self.assertEqual(picker["owner"], SAMPLE)
            top = self.d.call("picker_items")
            self.assertEqual(len(top), 1)
            computer = [t for t in self.d.call("picker_items", top[0]) if t in ("我的电脑", "My Computer")]
            self.assertEqual(len(computer), 1)
            path = [top[0], computer[0], "Q:", "picked"]
            self.assertEqual(self.d.call("picker_select", *path), "Picked")
            with self.assertRaises(DriverError):
                self.d.call("picker_select", top[0], computer[0], "Q:", "没有")
            self.d.call("picker_ok")
            self.d.wait_text(SAMPLE, "编辑框1", "eq", "Q:\\Picked")
            # Cancel leaves the picker without a path.
            self.d.call("click", SAMPLE, "按钮2")
            self.d.wait_picker()
            self.d.call("picker_cancel")
            self.d.wait_text(SAMPLE, "编辑框1", "eq", "(cancelled)")

    def test_exit_codes_as_the_driver_and_wine_report_them(self):
        exe = "Z:" + Config.exe.replace("/", "\\")  # Z: maps the host's root
        # code returned, as GetExitCodeProcess gives it, as the wine command ends
        for code, in_wine, on_host in [(0, 0, 0), (3, 3, 3), (-1, 0xFFFFFFFF, 255)]:
            with self.subTest(code=code):
                value = self.d.call("run", 10000, f'"{exe}" /exit {code}')
                self.assertEqual(value["exit_code"], in_wine)
                self.assertEqual(self.start(CHINESE, args=("/exit", str(code))).wait(), on_host)


if __name__ == "__main__":
    run_tests()
