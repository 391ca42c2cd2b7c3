"""Browse on the Options page through the system's folder picker: the picked
folder gets "\\Vantrel2" appended, a drive root no doubled separator, and
Cancel leaves the install path alone. E: is a scratch host folder holding
Apps. Wine's picker ignores a typed path, so folders are picked in its tree."""

import os

from harness import HOST, WIZARD, WineTest, run_tests, wait_until

DEFAULT_PATH = "D:\\Brenmoor\\Vantrel2"
CSIDL_DESKTOPDIRECTORY = 16
COMPUTER = ("我的电脑", "My Computer")


class BrowseTest(WineTest):
    @classmethod
    def setUpClass(cls):
        super().setUpClass()
        cls.e_root = cls.scratch_drive("e", "qm-e2e-e-")
        os.mkdir(os.path.join(cls.e_root, "Apps"))

    def open_options(self):
        self.start()
        self.d.wait_window(WIZARD)
        wait_until(lambda: self.d.window(WIZARD)["visible"]
                   and self.d.control(WIZARD, "标签1")["visible"], message="wizard shown")
        for group in ("分组框1", "分组框2"):
            self.d.call("click", WIZARD, "按钮1")
            wait_until(lambda: self.d.control(WIZARD, group)["visible"], message=group)
        self.d.wait_text(WIZARD, "编辑框2", "eq", DEFAULT_PATH)

    def browse(self):
        """Presses Browse; returns the picker once it is up and modal."""
        self.d.call("click", WIZARD, "按钮4")
        picker = self.d.wait_picker()
        self.assertEqual(picker["owner"], WIZARD)
        wait_until(lambda: not self.d.window(WIZARD)["enabled"]
                   and not self.d.window(HOST)["enabled"],
                   message="wizard and host disabled under the picker")
        return picker

    def close_picker(self, press):
        self.d.call(press)
        wait_until(lambda: self.d.attempt("wait_picker", 0) is None, message="picker gone")
        wait_until(lambda: self.d.window(WIZARD)["enabled"], message="wizard enabled again")

    def tree_path(self, *below_computer):
        """Item texts from the picker's root down to a folder under the
        computer item ("E:" names the drive whatever its label)."""
        root = self.d.call("picker_items")
        self.assertEqual(len(root), 1)
        computer = [t for t in self.d.call("picker_items", root[0]) if t in COMPUTER]
        self.assertEqual(len(computer), 1)
        return [root[0], computer[0], *below_computer]

    def test_picked_folders_get_the_product_folder_appended(self):
        self.open_options()
        desktop = self.d.call("folder_path", CSIDL_DESKTOPDIRECTORY)
        # tree items below the computer (None: the picker's first selection) -> path
        cases = [
            (None, desktop + "\\Vantrel2"),
            (["E:", "Apps"], "E:\\Apps\\Vantrel2"),
            (["E:"], "E:\\Vantrel2"),
        ]
        for items, expected in cases:
            with self.subTest(items=items):
                self.browse()
                if items is not None:
                    self.d.call("picker_select", *self.tree_path(*items))
                self.close_picker("picker_ok")
                self.d.wait_text(WIZARD, "编辑框2", "eq", expected)

    def test_cancel_leaves_the_path_unchanged(self):
        self.open_options()
        for path in (DEFAULT_PATH, "E:\\别处\\Vantrel2"):
            with self.subTest(path=path):
                self.d.call("set_text", WIZARD, "编辑框2", path)
                self.browse()
                self.d.call("picker_select", *self.tree_path("E:", "Apps"))
                self.close_picker("picker_cancel")
                self.assertEqual(self.d.control(WIZARD, "编辑框2")["text"], path)
        # The page is still Options and the wizard goes on from there.
        self.d.call("click", WIZARD, "按钮1")
        self.d.wait_text(WIZARD, "编辑框3", "eq", f"安装信息\r\n安装路径：{path}\r\n")


if __name__ == "__main__":
    run_tests()
