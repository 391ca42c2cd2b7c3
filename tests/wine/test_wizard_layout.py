"""The wizard "程序安装向导" as it first opens over the host: its frame and place,
where every control sits (hidden pages included), what the Welcome page shows,
its keys, and how it is drawn."""

import os

from harness import HOST, REPO, WIZARD, WineTest, run_tests, wait_until

QUESTION_TITLE = "退出安装"
QUESTION = "确定退出此软件的安装吗？"
IDNO = 7
WS_EX_APPWINDOW = 0x00040000
COLOR_BTNFACE = 15
BLACK = (0, 0, 0)
WELCOME_COLOUR = (88, 48, 224)
WELCOME = "欢迎安装应用程序《Quillmere》！"

# Every control that is a window, in the order of the layout: its rectangle in
# the wizard's client area (containers at (0, 0) except 外形框2 at (8, 40) in
# 分组框5), whether the Welcome page shows it, whether it is enabled at load,
# and its text after the wizard's creation (None: not compared here).
CONTROLS = [
    # name       left top  width height  shown  enabled  text
    ("选择框3", 16, 72, 288, 24, False, True, "打开程序目录"),
    ("选择框2", 16, 48, 288, 24, False, True, "启动程序"),
    ("标签6", 8, 16, 304, 24, False, True, ""),
    ("标签7", 0, 168, 320, 24, False, True, "单击“完成”结束安装。"),
    ("外形框2", 8, 40, 304, 128, False, True, None),
    ("分组框5", 0, 0, 320, 192, False, True, "安装结束。"),
    ("编辑框4", 8, 40, 304, 144, False, True, ""),
    ("标签5", 8, 16, 304, 24, False, True, "程序安装中，请稍后 .."),
    ("分组框4", 0, 0, 320, 192, False, True, "正在安装"),
    ("编辑框3", 8, 16, 304, 144, False, True, ""),
    ("分组框3", 0, 0, 320, 168, False, True, "安装即将开始"),
    ("标签4", 0, 168, 320, 24, False, True, "单击“下一步”开始安装；单击“上一步”返回安装设置。"),
    ("选择框1", 8, 48, 152, 24, False, True, "&D.创建桌面快捷方式"),
    ("按钮4", 280, 16, 32, 24, False, True, "浏览"),
    ("编辑框2", 80, 16, 200, 24, False, True, "D:\\Brenmoor\\Vantrel2"),
    ("标签3", 8, 16, 72, 24, False, True, "&L.安装位置："),
    ("分组框2", 0, 0, 320, 192, False, True, "安装选项"),
    ("编辑框1", 8, 16, 304, 168, False, True, None),
    ("分组框1", 0, 0, 320, 192, False, True, "版本信息："),
    ("外形框1", 8, 192, 304, 1, True, True, None),
    ("按钮3", 24, 200, 80, 24, True, True, "&C.取消"),
    ("按钮2", 120, 200, 80, 24, True, False, "&R.上一步"),
    ("按钮1", 216, 200, 80, 24, True, True, "&N.下一步"),
    ("标签2", 0, 168, 320, 24, True, True, "单击“下一步”进入安装设置；单击“取消”退出安装。"),
    ("标签1", 0, 64, 320, 48, True, True, WELCOME),
    ("选择夹1", 0, 0, 320, 240, True, True, None),
]

# The standard controls behind the kinds the user works with.
STANDARD_CLASS = {"按钮": "Button", "选择框": "Button", "分组框": "Button", "编辑框": "Edit"}


def release_notes_first_line():
    with open(os.path.join(REPO, "payload", "ReleaseNotes.txt"), encoding="utf-8-sig") as f:
        return f.readline().rstrip("\r\n")


class WizardLayoutTest(WineTest):
    def open_wizard(self):
        program = self.start()
        wizard = wait_until(lambda: (lambda w: w if w["visible"] else None)(self.d.window(WIZARD)),
                            message="wizard shown")
        wait_until(lambda: (lambda h: h["zoomed"] and h["rect"] == h["work_area"])(
            self.d.window(HOST)), message="host maximised on its work area")
        wait_until(lambda: self.d.focus(WIZARD) == "按钮1", message="focus on 按钮1")
        return program, wizard

    def welcome_state(self):
        """What Welcome shows: each control's visibility, enabled state, text."""
        return {name: (c["visible"], c["enabled"], c["text"])
                for name, c in self.d.controls(WIZARD).items()}

    def test_opens_owned_by_the_host_centred_with_a_320_by_240_client(self):
        _, wizard = self.open_wizard()
        host = self.d.window(HOST)
        self.assertEqual(wizard["name"], "WizardWindow")
        self.assertEqual(wizard["owner_hwnd"], host["hwnd"])
        self.assertEqual(wizard["ex_style"] & WS_EX_APPWINDOW, 0, "taskbar button of its own")
        self.assertEqual(self.d.call("count_windows", WIZARD)["all"], 1)
        client, outer, h = wizard["client"], wizard["rect"], host["rect"]
        self.assertEqual((client["width"], client["height"]), (320, 240))
        # Centred over the host's outer rectangle, halves truncated toward zero.
        self.assertEqual(outer["left"], h["left"] + int((h["width"] - outer["width"]) / 2))
        self.assertEqual(outer["top"], h["top"] + int((h["height"] - outer["height"]) / 2))
        self.assertTrue(wizard["foreground"])

    def test_every_control_sits_where_the_layout_puts_it(self):
        self.open_wizard()
        controls = self.d.controls(WIZARD)
        self.assertEqual(set(controls), {row[0] for row in CONTROLS})
        for name, left, top, width, height, shown, enabled, text in CONTROLS:
            with self.subTest(control=name):
                c = controls[name]
                self.assertEqual(c["rect"], {"left": left, "top": top, "width": width,
                                             "height": height})
                self.assertEqual(c["visible"], shown)
                self.assertEqual(c["enabled"], enabled)
                if text is not None:
                    self.assertEqual(c["text"], text)
                kind = name.rstrip("0123456789")
                if kind in STANDARD_CLASS:
                    self.assertEqual(c["class"], STANDARD_CLASS[kind])
        notes = controls["编辑框1"]["text"]
        self.assertEqual(notes.split("\r\n")[0], release_notes_first_line())
        self.assertNotIn("\n", notes.replace("\r\n", ""), "line breaks are CR LF")

    def test_welcome_keys_tab_alt_c_and_enter(self):
        program, _ = self.open_wizard()
        before = self.welcome_state()

        # Tab walks 按钮1 -> 按钮3 -> 按钮1; Back is disabled and skipped.
        for expected in ("按钮3", "按钮1"):
            self.d.call("key", WIZARD, "tab")
            wait_until(lambda: self.d.focus(WIZARD) == expected, message=f"focus on {expected}")

        # Enter on each button presses nothing. The Tab after it is handled
        # only once the Enter has been, so the focus move marks its end.
        for focused, after in (("按钮1", "按钮3"), ("按钮3", "按钮1")):
            self.assertEqual(self.d.focus(WIZARD), focused)
            self.d.call("key", WIZARD, "enter")
            self.d.call("key", WIZARD, "tab")
            wait_until(lambda: self.d.focus(WIZARD) == after,
                       message=f"focus on {after} after Enter on {focused}")
            self.assertEqual(self.d.msgbox_count(), 0, f"Enter on {focused} asked")
            self.assertEqual(self.welcome_state(), before, f"Enter on {focused} changed the page")

        # Alt+C is Cancel: the exit question; No keeps everything.
        self.d.call("key", WIZARD, "alt+c")
        box = self.d.wait_msgbox()["box"]
        self.assertEqual((box["title"], box["text"]), (QUESTION_TITLE, QUESTION))
        self.d.call("msgbox_press", IDNO)
        wait_until(lambda: self.d.msgbox_count() == 0, message="question gone after No")
        wait_until(lambda: self.d.window(WIZARD)["enabled"], message="wizard enabled again")
        self.assertTrue(program.running())
        self.assertEqual(self.welcome_state(), before)
        self.assertTrue(self.d.window(HOST)["visible"])

    def test_welcome_page_draws_the_rule_and_the_welcome_text(self):
        _, wizard = self.open_wizard()
        face = tuple(self.d.call("sys_color", COLOR_BTNFACE))
        self.assertNotIn(face, (BLACK, WELCOME_COLOUR))
        x0, y0 = wizard["client"]["left"], wizard["client"]["top"]

        def drawn():
            shot = self.session.screen_pixels("wizard-welcome")
            row = [shot.pixel(x0 + x, y0 + 192) for x in range(7, 313)]
            return shot if row == [face] + [BLACK] * 304 + [face] else None

        shot = wait_until(drawn, message="black rule from x 8 to 311 on row 192")
        for y in (191, 193):
            with self.subTest(row=y):
                self.assertEqual(shot.count(face, x0 + 8, y0 + y, x0 + 312, y0 + y + 1), 304)

        # The welcome text, centred in 标签1 (0, 64, 320 x 48), and nowhere else.
        left = shot.count(WELCOME_COLOUR, x0, y0 + 64, x0 + 160, y0 + 112)
        right = shot.count(WELCOME_COLOUR, x0 + 160, y0 + 64, x0 + 320, y0 + 112)
        self.assertGreater(left, 50)
        self.assertGreater(right, 50)
        self.assertLess(abs(left - right), (left + right) // 2, "text not centred")
        self.assertEqual(shot.count(WELCOME_COLOUR, x0, y0, x0 + 320, y0 + 64), 0)
        self.assertEqual(shot.count(WELCOME_COLOUR, x0, y0 + 112, x0 + 320, y0 + 240), 0)
        # Nothing of the text in the label's outer margins: it is centred.
        self.assertEqual(shot.count(WELCOME_COLOUR, x0, y0 + 64, x0 + 24, y0 + 112), 0)
        self.assertEqual(shot.count(WELCOME_COLOUR, x0 + 296, y0 + 64, x0 + 320, y0 + 112), 0)


if __name__ == "__main__":
    run_tests()
