"""The install from the wizard's first page to its end, through the real
windows: what lands on disk, the log, the Finished page, what Finish starts,
failures, Cancel and the close boxes. D: is a scratch host folder, emptied
before each test."""

import os
import re
import select
import shutil
import struct
import time
import zipfile

from harness import Config, HOST, WIZARD, WizardTest, empty_folder, run_tests, wait_until

APP = "Quillmere"
SAMPLE = "驱动样例"   # qmsample's window
QUESTION_TITLE = "退出安装"
QUESTION = "确定退出此软件的安装吗？"
IDYES, IDNO = 6, 7
DEFAULT_PATH = "D:\\Brenmoor\\Vantrel2"
PAYLOAD_SIZE = 5114250
CSIDL_DESKTOPDIRECTORY = 16
APP_COMMAND_LINE_ID = 101

LOG_START = ["正在初始化 ..", "正在释放压缩包 ..", "正在解压 .."]
LOG_DONE = LOG_START + ["正在创建快捷方式 ..", "安装完成。"]

# The control placed directly on each page, shown only while it is current.


def log_text(lines):
    return "".join(line + "\r\n" for line in lines)


class Archive:
    """The payload as a ZIP reader sees it; names as the installer writes
    them (GBK bytes, folders first)."""

    def __init__(self, path):
        self.files, self.folders, self.order = {}, [], []
        with zipfile.ZipFile(path) as z:
            for info in z.infolist():
                # No UTF-8 flag: zipfile decoded the GBK bytes as cp437.
                name = info.filename.encode("cp437").decode("cp936")
                self.order.append((name, info))
                if name.endswith("/"):
                    self.folders.append(name.rstrip("/"))
                else:
                    self.files[name] = z.read(info)

    def large_file_in_a_folder(self, at_least):
        """The first file entry below a folder larger than at_least bytes."""
        for name, info in self.order:
            if "/" in name.rstrip("/") and not name.endswith("/") and info.file_size > at_least:
                return name
        raise AssertionError(f"no file entry over {at_least} bytes in a folder")


def read_shortcut(path):
    """(show command, target) of a shell link file, the target from its
    LinkInfo (local base path + common path suffix)."""
    with open(path, "rb") as f:
        data = f.read()
    header_size, = struct.unpack_from("<I", data, 0)
    assert header_size == 0x4C, "not a shell link"
    flags, = struct.unpack_from("<I", data, 0x14)
    show, = struct.unpack_from("<I", data, 0x3C)
    pos = header_size
    if flags & 0x1:  # HasLinkTargetIDList
        pos += 2 + struct.unpack_from("<H", data, pos)[0]
    assert flags & 0x2, "no LinkInfo in the link"
    _, info_header, info_flags, _, base_at, _, suffix_at = struct.unpack_from("<7I", data, pos)
    assert info_flags & 0x1, "LinkInfo without a local path"

    def ansi(at):
        end = data.index(b"\0", pos + at)
        return data[pos + at:end].decode("cp936")

    return show, ansi(base_at) + ansi(suffix_at)


class HeldExtraction:
    """Holds the install at one archive entry: the entry's output path is a
    FIFO whose reader takes nothing until release(), so the worker blocks in
    its write, still on the Installing page."""

    def __init__(self, test, folder, entry):
        self.entry = entry
        path = os.path.join(folder, *entry.split("/"))
        os.makedirs(os.path.dirname(path), exist_ok=True)
        os.mkfifo(path)
        self.fd = os.open(path, os.O_RDONLY | os.O_NONBLOCK)
        test.addCleanup(os.close, self.fd)

    def reached(self):
        """True once the worker has written into the FIFO."""
        return bool(select.select([self.fd], [], [], 0)[0])

    def release(self, size, timeout=30):
        """Reads the entry's bytes as the worker writes them; returns them."""
        data = bytearray()
        deadline = time.monotonic() + timeout
        while len(data) < size:
            left = deadline - time.monotonic()
            if left <= 0:
                raise AssertionError(f"only {len(data)} of {size} bytes of {self.entry} arrived")
            if select.select([self.fd], [], [], left)[0]:
                try:
                    data += os.read(self.fd, 1 << 16)
                except BlockingIOError:
                    pass
        return bytes(data)


class InstallTest(WizardTest):
    @classmethod
    def setUpClass(cls):
        super().setUpClass()
        cls.archive = Archive(Config.payload)
        cls.d_root = cls.scratch_drive("d", "qm-e2e-d-")
        cls.desktop = cls.session.host_path(cls.driver.call("folder_path", CSIDL_DESKTOPDIRECTORY))
        cls.temp = cls.session.host_path(cls.driver.call("temp_path"))

    def setUp(self):
        super().setUp()
        empty_folder(self.d_root)
        self.shortcut = os.path.join(self.desktop, "Quillmere.lnk")
        if os.path.exists(self.shortcut):
            os.unlink(self.shortcut)
        self.temp_before = set(os.listdir(self.temp))
        self.addCleanup(self.remove_new_temp_files)

    def remove_new_temp_files(self):
        for name in set(os.listdir(self.temp)) - self.temp_before:
            if re.fullmatch(r"[0-9a-f]+\.tmp", name):
                os.unlink(os.path.join(self.temp, name))

    def on_d(self, *parts):
        return os.path.join(self.d_root, *parts)

    # --- working the wizard ---

    def open_wizard(self):
        program = self.start()
        self.d.wait_window(WIZARD)
        wait_until(lambda: self.d.window(WIZARD)["visible"] and self.page() == 0,
                   message="wizard shown on its first page")
        return program

    def install(self, path=None):
        """From page 0 to the Installing page; the path typed on Options."""
        self.next_to(1)
        self.next_to(2)
        if path is not None:
            self.type_path(path)
        self.next_to(3)
        expected = path if path is not None else DEFAULT_PATH
        self.d.wait_text(WIZARD, "编辑框3", "eq", f"安装信息\r\n安装路径：{expected}\r\n")
        self.start_install()

    def tick(self, *names):
        for name in names:
            self.d.call("click", WIZARD, name)
            wait_until(lambda: self.d.call("checked", WIZARD, name), message=f"{name} ticked")

    def finish(self, program):
        self.d.call("click", WIZARD, "按钮1")
        self.assertEqual(program.wait(), 0)

    def snapshot(self):
        return {name: (c["visible"], c["enabled"], c["text"])
                for name, c in self.d.controls(WIZARD).items()}

    def answer_question(self, answer):
        box = self.d.wait_msgbox()
        self.assertEqual(box["count"], 1)
        self.assertEqual((box["box"]["title"], box["box"]["text"]), (QUESTION_TITLE, QUESTION))
        self.d.call("msgbox_press", answer)
        if answer == IDNO:
            wait_until(lambda: self.d.msgbox_count() == 0, message="question gone")
            wait_until(lambda: self.d.window(WIZARD)["enabled"], message="wizard enabled again")

    # --- what Finish starts ---

    def started_window(self, caption, cls):
        window = self.d.wait_window(caption)
        self.assertEqual(window["class"], cls)
        self.addCleanup(self.close_window, window["hwnd"])
        return window

    def close_window(self, hwnd):
        selector = f"hwnd:{hwnd}"
        if self.d.attempt("window", selector):
            self.d.call("close", selector)
            self.d.wait_gone(selector)

    def app_command_line(self, window):
        for c in self.d.call("controls", f"hwnd:{window['hwnd']}"):
            if c["id"] == APP_COMMAND_LINE_ID:
                return c["text"]
        raise AssertionError("no command-line control in the application's window")

    def image_of(self, pid):
        return {p["pid"]: p["path"] for p in self.d.call("processes")}.get(pid)

    # --- what lands on disk ---

    def assert_installed(self, *folder):
        for name, data in self.archive.files.items():
            with self.subTest(entry=name):
                path = self.on_d(*folder, *name.split("/"))
                with open(path, "rb") as f:
                    self.assertEqual(f.read(), data)
                # Attributes normal again: Wine shows read-only as no write bit.
                self.assertTrue(os.stat(path).st_mode & 0o200)
        for name in self.archive.folders:
            self.assertTrue(os.path.isdir(self.on_d(*folder, *name.split("/"))), name)

    # --- the tests ---

    def test_default_install_then_finish_starts_the_program_and_opens_the_folder(self):
        program = self.open_wizard()
        self.install()
        controls = self.wait_finished()
        self.assertEqual(controls["编辑框4"]["text"], log_text(LOG_DONE))
        self.assertEqual(controls["标签6"]["text"], "安装完成。")
        self.assertEqual(controls["标签7"]["text"], "单击“完成”结束安装。")
        self.assertFalse(controls["按钮2"]["enabled"])
        self.assertFalse(controls["按钮3"]["enabled"])
        self.assertTrue(controls["按钮1"]["enabled"])
        self.assertEqual(controls["按钮1"]["text"], "&N.完成")
        for name in ("外形框2", "选择框2", "选择框3"):
            self.assertTrue(controls[name]["visible"], name)

        self.assert_installed("Brenmoor", "Vantrel2")

        new = set(os.listdir(self.temp)) - self.temp_before
        self.assertEqual(len(new), 1, new)
        copy = new.pop()
        self.assertRegex(copy, r"^[1-9a-f][0-9a-f]*\.tmp$")
        with open(os.path.join(self.temp, copy), "rb") as f:
            data = f.read()
        self.assertEqual(len(data), PAYLOAD_SIZE)
        with open(Config.payload, "rb") as f:
            self.assertEqual(data, f.read())

        self.assertEqual(read_shortcut(self.shortcut), (5, DEFAULT_PATH + "\\QMV.exe"))

        self.tick("选择框2", "选择框3")
        self.finish(program)
        app = self.started_window(APP, "QuillmereMain")
        self.assertEqual(self.app_command_line(app), DEFAULT_PATH + "\\QMV.exe")
        self.assertEqual(self.image_of(app["pid"]), DEFAULT_PATH + "\\QMV.exe")
        folder = self.started_window("Vantrel2", "ExplorerWClass")
        self.assertNotEqual(folder["pid"], app["pid"])
        self.assertEqual(self.d.call("count_windows", WIZARD)["all"], 0)
        self.assertEqual(self.d.call("count_windows", HOST)["all"], 0)

    def test_a_path_that_cannot_be_created_fails_and_finish_starts_nothing(self):
        with open(self.on_d("blocker"), "w") as f:
            f.write("a file where a folder would have to be\n")
        program = self.open_wizard()
        self.install("D:\\blocker\\Vantrel2")
        controls = self.wait_finished()
        self.assertEqual(controls["编辑框4"]["text"], log_text(LOG_START + ["安装失败。错误代码：0"]))
        self.assertEqual(controls["标签6"]["text"], "安装失败。")
        self.assertEqual(controls["标签7"]["text"], "安装失败。错误代码：0（失败）")
        for name in ("外形框2", "选择框2", "选择框3"):
            self.assertFalse(controls[name]["visible"], name)
        self.assertEqual(controls["按钮1"]["text"], "&N.完成")
        self.assertFalse(os.path.exists(self.shortcut))

        self.finish(program)
        self.assertEqual(self.d.call("count_windows", APP)["all"], 0)
        self.assertEqual(self.d.call("count_windows", "Vantrel2")["all"], 0)
        self.assertNotIn("QMV.exe", [p["exe"] for p in self.d.call("processes")])
        self.assertEqual(self.d.msgbox_count(), 0)

    def test_cancel_answered_no_changes_nothing_on_pages_0_to_3(self):
        program = self.open_wizard()
        for page in range(4):
            with self.subTest(page=page):
                before = self.snapshot()
                self.d.call("click", WIZARD, "按钮3")
                self.answer_question(IDNO)
                self.assertTrue(program.running())
                self.assertEqual(self.page(), page)
                self.assertEqual(self.snapshot(), before)
            if page < 3:
                self.next_to(page + 1)
        self.assertFalse(os.path.exists(self.on_d("Brenmoor")))

    def test_cancel_during_the_install_no_lets_it_finish(self):
        entry = self.archive.large_file_in_a_folder(256 * 1024)
        held = HeldExtraction(self, self.on_d("Brenmoor", "Vantrel2"), entry)
        program = self.open_wizard()
        self.install()
        wait_until(held.reached, message="the install writing the held entry")
        before = self.snapshot()
        self.assertEqual(before["编辑框4"][2], log_text(LOG_START))
        self.d.call("click", WIZARD, "按钮3")
        self.answer_question(IDNO)
        self.assertEqual(self.page(), 4)
        self.assertEqual(self.snapshot(), before)

        self.assertEqual(held.release(len(self.archive.files[entry])), self.archive.files[entry])
        controls = self.wait_finished()
        self.assertEqual(controls["编辑框4"]["text"], log_text(LOG_DONE))
        self.assertEqual(controls["标签6"]["text"], "安装完成。")
        self.finish(program)

    def test_cancel_during_the_install_yes_ends_with_zero(self):
        entry = self.archive.large_file_in_a_folder(256 * 1024)
        held = HeldExtraction(self, self.on_d("Brenmoor", "Vantrel2"), entry)
        program = self.open_wizard()
        self.install()
        wait_until(held.reached, message="the install writing the held entry")
        self.d.call("click", WIZARD, "按钮3")
        box = self.d.wait_msgbox()
        self.assertEqual(box["box"]["text"], QUESTION)
        # Still installing right before Yes: the worker is held in its write.
        self.assertEqual(self.page(), 4)
        self.assertTrue(self.d.control(WIZARD, "按钮3")["enabled"])
        self.assertEqual(self.d.control(WIZARD, "编辑框4")["text"], log_text(LOG_START))
        self.d.call("msgbox_press", IDYES)
        self.assertEqual(program.wait(), 0)
        self.assertEqual(self.d.call("count_windows", WIZARD)["all"], 0)
        # What was written before stays; no shortcut.
        with open(self.on_d("Brenmoor", "Vantrel2", "QMV.exe"), "rb") as f:
            self.assertEqual(f.read(), self.archive.files["QMV.exe"])
        self.assertFalse(os.path.exists(self.shortcut))

    def test_summary_follows_the_path_edited_on_the_options_page(self):
        self.open_wizard()
        self.next_to(1)
        self.next_to(2)
        for path in ["D:\\其他 目录\\Vantrel2", "E:\\Apps\\", ""]:
            with self.subTest(path=path):
                if path:
                    self.type_path(path)
                else:
                    self.d.call("set_text", WIZARD, "编辑框2", "")
                self.next_to(3)
                self.d.wait_text(WIZARD, "编辑框3", "eq", f"安装信息\r\n安装路径：{path}\r\n")
                self.d.call("click", WIZARD, "按钮2")
                wait_until(lambda: self.page() == 2, message="back on Options")
                self.assertEqual(self.d.control(WIZARD, "编辑框2")["text"], path)

    def test_trailing_backslash_installs_with_single_separators(self):
        program = self.open_wizard()
        self.install("D:\\Apps\\")
        controls = self.wait_finished()
        self.assertEqual(controls["编辑框4"]["text"], log_text(LOG_DONE))
        self.assertEqual(sorted(os.listdir(self.d_root)), ["Apps"])
        self.assert_installed("Apps")
        # The shell stores the link's target normalised; the program is
        # started with the doubled separator exactly as it was formed.
        self.assertEqual(read_shortcut(self.shortcut), (5, "D:\\Apps\\QMV.exe"))
        self.tick("选择框2")
        self.finish(program)
        app = self.started_window(APP, "QuillmereMain")
        self.assertEqual(self.app_command_line(app), "D:\\Apps\\\\QMV.exe")

    def test_install_over_an_existing_install_replaces_read_only_files_and_keeps_others(self):
        folder = self.on_d("Brenmoor", "Vantrel2")
        for name in self.archive.folders:
            os.makedirs(os.path.join(folder, *name.split("/")), exist_ok=True)
        for name in self.archive.files:
            with open(os.path.join(folder, *name.split("/")), "wb") as f:
                f.write(b"an older version\r\n")
        for name in ("QMV.exe", "ReadMe.txt"):
            os.chmod(os.path.join(folder, name), 0o444)
        extra = os.path.join(folder, "Config", "Mine.ini")
        with open(extra, "wb") as f:
            f.write(b"[kept]\r\n")

        program = self.open_wizard()
        self.install()
        controls = self.wait_finished()
        self.assertEqual(controls["编辑框4"]["text"], log_text(LOG_DONE))
        self.assertEqual(controls["标签6"]["text"], "安装完成。")
        self.assert_installed("Brenmoor", "Vantrel2")
        with open(extra, "rb") as f:
            self.assertEqual(f.read(), b"[kept]\r\n")
        self.assertEqual(read_shortcut(self.shortcut), (5, DEFAULT_PATH + "\\QMV.exe"))
        self.finish(program)

    def test_close_boxes_ask_once_and_yes_ends_with_zero(self):
        for window in (HOST, WIZARD):
            with self.subTest(window=window):
                program = self.open_wizard()
                self.d.call("close", window)
                self.answer_question(IDNO)
                self.assertTrue(program.running())
                self.assertEqual(self.page(), 0)
                self.d.call("close", window)
                self.answer_question(IDYES)
                # A second question would keep the process alive past this wait.
                self.assertEqual(program.wait(), 0)
                self.assertEqual(self.d.msgbox_count(), 0)
                self.assertEqual(self.d.call("count_windows", HOST)["all"], 0)
                self.assertEqual(self.d.call("count_windows", WIZARD)["all"], 0)

    def test_a_path_with_a_space_starts_the_installed_program_not_a_prefix_of_it(self):
        # A marker that shows its own window if the prefix program is started.
        shutil.copy(os.path.join(os.path.dirname(Config.driver), "qmsample.exe"),
                    self.on_d("Program.exe"))
        path = "D:\\Program Files\\Vantrel2"
        program = self.open_wizard()
        self.install(path)
        self.assertEqual(self.wait_finished()["标签6"]["text"], "安装完成。")
        self.tick("选择框2")
        self.finish(program)
        app = self.started_window(APP, "QuillmereMain")
        self.assertEqual(self.app_command_line(app), path + "\\QMV.exe")
        self.assertEqual(self.image_of(app["pid"]), path + "\\QMV.exe")
        images = [p["path"].lower() for p in self.d.call("processes")]
        self.assertNotIn("d:\\program.exe", images)
        self.assertEqual(self.d.call("count_windows", SAMPLE)["all"], 0)


if __name__ == "__main__":
    run_tests()
