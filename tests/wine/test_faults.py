"""Faults injected into real installs, worked through the real windows: a full
disk, a temporary folder that cannot be written, a file held open by another
process, Cancel answered Yes at many points of the extraction, and a burst of
close requests. Each must end on the failure page or in a clean exit with
code 0: never a crash, a hang or a false "安装完成。".

What "intact" means after an interrupted install (check_prefix_consistent):
walking the archive's entries in order, every file entry up to some point is
on disk with exactly its bytes; then at most one entry holds a prefix of its
bytes (the one being written); every later file entry is absent.
"""

import fcntl
import os
import re
import subprocess
import time
import zipfile

from harness import Config, HOST, WIZARD, WizardTest, run_tests, wait_until

IDYES, IDNO = 6, 7
FAILED_0 = "安装失败。错误代码：0（失败）"
FAILED_MINUS_1 = "安装失败。错误代码：-1（参数错误）"
EXIT_DEADLINE = 2  # seconds from Yes to the end of the process


def payload_entries():
    """[(name with "/", bytes or None for a folder)] in archive order."""
    with zipfile.ZipFile(Config.payload) as z:
        return [(i.filename.encode("cp437").decode("cp936"),
                 None if i.is_dir() else z.read(i)) for i in z.infolist()]


def mounted(test, path, options):
    """Mounts a tmpfs on path for the test; False when mounting is refused."""
    r = subprocess.run(["mount", "-t", "tmpfs", "-o", options, "tmpfs", path],
                       capture_output=True)
    if r.returncode != 0:
        return False
    test.addCleanup(subprocess.run, ["umount", "-l", path], check=False)
    return True


class FaultTest(WizardTest):
    @classmethod
    def setUpClass(cls):
        super().setUpClass()
        cls.entries = payload_entries()
        cls.d_root = cls.scratch_drive("d", "qm-faults-d-")
        cls.e_root = cls.scratch_drive("e", "qm-faults-e-")
        # E: is a tmpfs far smaller than the payload, when mounting is allowed.
        r = subprocess.run(["mount", "-t", "tmpfs", "-o", "size=320k", "tmpfs", cls.e_root],
                           capture_output=True)
        cls.small_disk = r.returncode == 0
        if cls.small_disk:
            cls.addClassCleanup(subprocess.run, ["umount", "-l", cls.e_root], check=False)
        cls.temp = cls.session.host_path(cls.driver.call("temp_path"))

    def setUp(self):
        super().setUp()
        temp_before = set(os.listdir(self.temp))
        self.addCleanup(lambda: [os.unlink(os.path.join(self.temp, n))
                                 for n in set(os.listdir(self.temp)) - temp_before
                                 if re.fullmatch(r"[0-9a-f]+\.tmp", n)])

    # --- the wizard ---

    def to_ready(self, path, env=None):
        program = self.start(env=env)
        self.d.wait_window(WIZARD)
        wait_until(lambda: self.d.window(WIZARD)["visible"] and self.page() == 0,
                   message="wizard on its first page")
        self.next_to(1)
        self.next_to(2)
        self.d.call("set_text", WIZARD, "编辑框2", path)
        self.next_to(3)
        self.d.wait_text(WIZARD, "编辑框3", "eq", f"安装信息\r\n安装路径：{path}\r\n")
        return program

    def assert_failed(self, program, detail):
        c = self.wait_finished()
        self.assertEqual(c["标签6"]["text"], "安装失败。")
        self.assertEqual(c["标签7"]["text"], detail)
        self.assertFalse(c["外形框2"]["visible"])
        code = detail[len("安装失败。错误代码："):detail.index("（")]
        self.assertTrue(c["编辑框4"]["text"].endswith(f"安装失败。错误代码：{code}\r\n"))
        self.assertNotIn("安装完成。", c["编辑框4"]["text"])
        self.d.call("click", WIZARD, "按钮1")  # Finish
        self.assertEqual(program.wait(), 0)

    # --- the disk ---

    def host(self, root, *parts):
        return os.path.join(root, *parts)

    def check_prefix_consistent(self, folder, held=None):
        """Returns the number of complete file entries; fails unless the
        install folder is a prefix of the archive (see the module's text).
        held: (entry name, bytes read from its FIFO) for an entry that is a
        FIFO rather than a file."""
        complete, state = 0, "complete"
        for name, data in self.entries:
            path = os.path.join(folder, *name.rstrip("/").split("/"))
            if data is None:
                if state == "complete":
                    self.assertTrue(os.path.isdir(path), f"folder {name} missing before a later file")
                continue
            if held and name == held[0]:
                self.assertEqual(state, "complete", f"{name} reached after a cut entry")
                self.assertTrue(data.startswith(held[1]), f"{name}: bytes are not a prefix")
                state = "complete" if held[1] == data else "cut"
                continue
            exists = os.path.lexists(path)
            if state == "complete":
                if not exists:
                    state = "absent"
                    continue
                with open(path, "rb") as f:
                    on_disk = f.read()
                if on_disk == data:
                    complete += 1
                    continue
                self.assertTrue(data.startswith(on_disk), f"{name}: bytes are not a prefix")
                state = "cut"
            else:
                self.assertFalse(exists, f"{name} written after an incomplete entry")
        return complete

    # --- the tests ---

    def test_disk_full_fails_with_code_0_and_keeps_earlier_files(self):
        if not self.small_disk:
            self.skipTest("mounting a small tmpfs is not allowed here")
        program = self.to_ready("E:\\Full\\Vantrel2")
        self.start_install()
        self.assert_failed(program, FAILED_0)
        folder = self.host(self.e_root, "Full", "Vantrel2")
        complete = self.check_prefix_consistent(folder)
        files = sum(1 for _, data in self.entries if data is not None)
        self.assertGreater(complete, 0, "nothing fitted before the disk was full")
        self.assertLess(complete, files)
        free = os.statvfs(self.e_root)
        self.assertLess(free.f_bavail * free.f_frsize, 64 * 1024, "the disk was not filled")

    def fails_with_minus_1_without_a_temp_copy(self, target):
        program = self.to_ready(f"D:\\{target}")
        self.start_install()
        self.assert_failed(program, FAILED_MINUS_1)
        # -1 is decided before the target is created.
        self.assertFalse(os.path.exists(self.host(self.d_root, target)))

    def test_read_only_temporary_folder_fails_with_code_minus_1(self):
        if not mounted(self, self.temp, "ro,size=64k"):
            self.skipTest("mounting a read-only tmpfs is not allowed here")
        self.fails_with_minus_1_without_a_temp_copy("NoTempRo")

    def test_temporary_folder_that_is_a_file_fails_with_code_minus_1(self):
        aside = self.temp + ".qm-aside"
        os.rename(self.temp, aside)
        self.addCleanup(os.rename, aside, self.temp)
        open(self.temp, "wb").close()
        self.addCleanup(os.unlink, self.temp)
        self.fails_with_minus_1_without_a_temp_copy("NoTempFile")

    def test_file_held_open_without_sharing_stops_there_with_code_0(self):
        folder = self.host(self.d_root, "Held")
        os.makedirs(folder)
        # An earlier install, every file then marked with old bytes.
        for name, data in self.entries:
            path = os.path.join(folder, *name.rstrip("/").split("/"))
            if data is None:
                os.makedirs(path, exist_ok=True)
            else:
                with open(path, "wb") as f:
                    f.write(b"old " + name.encode())
        self.d.call("hold", "D:\\Held\\ReadMe.txt")
        self.addCleanup(self.d.attempt, "release", "D:\\Held\\ReadMe.txt")
        program = self.to_ready("D:\\Held")
        self.start_install()
        self.assert_failed(program, FAILED_0)
        self.d.call("release", "D:\\Held\\ReadMe.txt")
        names = [name for name, data in self.entries if data is not None]
        held = names.index("ReadMe.txt")
        for name, data in self.entries:
            if data is None:
                continue
            with self.subTest(entry=name), open(os.path.join(folder, *name.split("/")), "rb") as f:
                expected = data if names.index(name) < held else b"old " + name.encode()
                self.assertEqual(f.read(), expected)

    def test_cancel_yes_at_many_points_exits_0_within_2_s_leaving_a_prefix(self):
        files = [name for name, data in self.entries if data is not None]
        # 18 points spread over the file entries, first and last included,
        # then 3 with no hold at all (Yes as soon as the question is up).
        step = (len(files) - 1) / 17
        points = [files[round(i * step)] for i in range(18)] + [None] * 3
        ways = [("click", WIZARD, "按钮3"), ("close", WIZARD), ("close", HOST)]
        timings = []
        for i, entry in enumerate(points):
            with self.subTest(run=i, entry=entry):
                folder = self.host(self.d_root, f"Cancel{i}")
                fifo = self.hold_at(folder, entry) if entry else None
                program = self.to_ready(f"D:\\Cancel{i}")
                pid = self.d.window(WIZARD)["pid"]
                self.start_install()
                # Unheld, the install may be over already: Cancel is then disabled.
                self.d.call(*ways[i % 3 if entry else 1 + i % 2])
                self.assertEqual(self.d.wait_msgbox()["count"], 1)
                if fifo is not None:
                    wait_until(lambda: self.reached(folder, entry),
                               message=f"the worker at {entry}")
                started = time.monotonic()
                self.d.call("msgbox_press", IDYES)
                self.assertEqual(program.wait(timeout=EXIT_DEADLINE + 5), 0)
                timings.append(time.monotonic() - started)
                self.assertLess(timings[-1], EXIT_DEADLINE)
                # Nothing of the process is left: ended or gone, no windows.
                self.assertIn(self.d.attempt("wait_exit", pid, 0), (None, {"exit_code": 0}))
                self.assertEqual(self.d.call("count_windows", WIZARD)["all"], 0)
                self.assertEqual(self.d.call("count_windows", HOST)["all"], 0)
                got = b""
                if fifo is not None:
                    fd, filler = fifo
                    try:
                        while chunk := os.read(fd, 1 << 16):
                            got += chunk
                    except BlockingIOError:
                        pass
                    self.assertEqual(got[:filler], b"\0" * filler)
                    got = got[filler:]
                self.check_prefix_consistent(folder, (entry, got) if entry else None)
        print(f"\ncancel runs: {len(timings)}, exit after Yes: max {max(timings):.2f} s")

    def hold_at(self, folder, entry):
        """Makes entry's output path a FIFO that is already full, so the
        worker blocks at its first write there however small the entry.
        Returns the reading end and the number of filler bytes before the
        worker's."""
        path = os.path.join(folder, *entry.split("/"))
        os.makedirs(os.path.dirname(path), exist_ok=True)
        os.mkfifo(path)
        fd = os.open(path, os.O_RDONLY | os.O_NONBLOCK)
        self.addCleanup(os.close, fd)
        fcntl.fcntl(fd, fcntl.F_SETPIPE_SZ, 4096)
        writer = os.open(path, os.O_WRONLY | os.O_NONBLOCK)
        filler = 0
        try:
            while True:
                filler += os.write(writer, b"\0" * 4096)
        except BlockingIOError:
            pass
        finally:
            os.close(writer)
        return fd, filler

    def reached(self, folder, entry):
        """True once the worker is extracting and every file before entry is
        complete: it is at entry, where the full FIFO stops it."""
        if "正在解压" not in self.d.control(WIZARD, "编辑框4")["text"]:
            return False
        for name, data in self.entries:
            if name == entry:
                return True
            path = os.path.join(folder, *name.rstrip("/").split("/"))
            if data is not None and (not os.path.isfile(path) or os.path.getsize(path) != len(data)):
                return False
        raise AssertionError(f"{entry} is not in the archive")

    def test_burst_of_close_requests_one_question_answer_obeyed(self):
        for answer in (IDNO, IDYES):
            with self.subTest(answer=answer):
                program = self.to_ready(f"D:\\Burst{answer}")
                self.d.call("close", WIZARD)
                self.assertEqual(self.d.wait_msgbox()["count"], 1)
                for _ in range(5):
                    self.d.call("close", HOST)
                    self.d.call("close", WIZARD)
                for _ in range(20):  # samples while the requests are taken
                    self.assertLessEqual(self.d.msgbox_count(), 1)
                    self.assertEqual(self.d.call("count_windows", WIZARD)["all"], 1)
                self.d.call("msgbox_press", answer)
                if answer == IDYES:
                    self.assertEqual(program.wait(timeout=EXIT_DEADLINE + 5), 0)
                    self.assertEqual(self.d.call("count_windows", WIZARD)["all"], 0)
                    continue
                wait_until(lambda: self.d.msgbox_count() == 0 and self.d.window(WIZARD)["enabled"],
                           message="no question left after No")
                self.assertTrue(program.running())
                self.assertEqual(self.page(), 3)
                self.assertEqual(self.d.call("count_windows", WIZARD)["all"], 1)
                self.d.call("close", WIZARD)
                self.assertEqual(self.d.wait_msgbox()["count"], 1)
                self.d.call("msgbox_press", IDYES)
                self.assertEqual(program.wait(timeout=EXIT_DEADLINE + 5), 0)


if __name__ == "__main__":
    run_tests()
