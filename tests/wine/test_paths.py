"""Hostile and odd install paths typed into the path box, each through the
real windows. Whatever the path, the install must end on the Finished page
with Cancel disabled, either failed (code 0 or -1, no program group) or done
with the files where the system resolves the path; the installer never
crashes (alive until Finish, exit 0 after it) and writes nothing outside the
path: every mapped drive folder and the prefix's drive_c are compared before
and after, leaving out only the archive's temporary copy and, on success,
the desktop shortcut. Which outcome Wine gives is printed per case.

D: is a scratch host folder, emptied before each case.
"""

import os
import re
import time
import zipfile

from harness import Config, WIZARD, WizardTest, empty_folder, run_tests, wait_until

CSIDL_DESKTOPDIRECTORY = 16
FAILED_TEXTS = {"0": "安装失败。错误代码：0（失败）", "-1": "安装失败。错误代码：-1（参数错误）"}
INSTALL_DEADLINE = 60   # seconds from Install to the Finished page
UNC_DEADLINE = 90       # a network path may wait on name resolution

LONG = "D:\\" + "\\".join(f"{i}" + "L" * 49 for i in range(6)) + "\\Vantrel2"

# (name, typed path, what the test lays on D: first, deadline)
CASES = [
    ("less-than", "D:\\a<b\\c", None, INSTALL_DEADLINE),
    ("bar", "D:\\a|b", None, INSTALL_DEADLINE),
    ("question mark and star", "D:\\a?b\\c*d", None, INSTALL_DEADLINE),
    ("device folder", "D:\\CON\\x", None, INSTALL_DEADLINE),
    ("device with extension", "D:\\nul.txt\\x", None, INSTALL_DEADLINE),
    ("longer than MAX_PATH", LONG, None, INSTALL_DEADLINE),
    ("spaces only", "   ", None, INSTALL_DEADLINE),
    ("under a file", "D:\\afile\\x", "afile", INSTALL_DEADLINE),
    ("UNC to nowhere", "\\\\nohost\\share\\x", None, UNC_DEADLINE),
    ("trailing dot", "D:\\dir.\\x", None, INSTALL_DEADLINE),
    ("trailing space in a folder", "D:\\dir \\x", None, INSTALL_DEADLINE),
    ("trailing space at the end", "D:\\tail\\x ", None, INSTALL_DEADLINE),
]


def payload_files():
    """{name with "/": bytes} of the archive's file entries."""
    with zipfile.ZipFile(Config.payload) as z:
        return {i.filename.encode("cp437").decode("cp936"): z.read(i)
                for i in z.infolist() if not i.is_dir()}


def snapshot(roots):
    """{host path: (kind, size, mtime)} of everything under each root, links
    not followed."""
    seen = {}
    for root in roots:
        for folder, dirs, files in os.walk(root):
            for name in dirs + files:
                path = os.path.join(folder, name)
                st = os.lstat(path)
                kind = "dir" if os.path.isdir(path) and not os.path.islink(path) else "file"
                seen[path] = (kind, 0 if kind == "dir" else st.st_size,
                              0 if kind == "dir" else st.st_mtime_ns)
    return seen


def within(path, folder):
    return path == folder or path.startswith(folder.rstrip(os.sep) + os.sep)


class PathTest(WizardTest):
    @classmethod
    def setUpClass(cls):
        super().setUpClass()
        cls.files = payload_files()
        cls.d_root = cls.scratch_drive("d", "qm-e2e-paths-d-")
        cls.desktop = cls.session.host_path(cls.driver.call("folder_path", CSIDL_DESKTOPDIRECTORY))
        cls.temp = cls.session.host_path(cls.driver.call("temp_path"))
        cls.outcomes = []

    @classmethod
    def tearDownClass(cls):
        print("\nhostile paths, outcome under Wine:")
        for line in cls.outcomes:
            print("  " + line)

    def roots(self):
        """Every mapped drive's folder but the host's root (z:), and drive_c."""
        dosdevices = os.path.join(self.session.prefix, "dosdevices")
        roots = {os.path.realpath(os.path.join(self.session.prefix, "drive_c"))}
        for name in os.listdir(dosdevices):
            target = os.path.realpath(os.path.join(dosdevices, name))
            if re.fullmatch(r"[a-y]:", name) and os.path.isdir(target):
                roots.add(target)
        return sorted(roots)

    def on_drive(self, full):
        """Host path of a resolved path on a drive, else None."""
        if full and re.match(r"^[A-Za-z]:\\", full):
            return self.session.host_path(full)
        return None

    # --- the wizard ---

    # --- one case ---

    def run_case(self, name, path, blocker, deadline):
        empty_folder(self.d_root)
        if blocker:
            with open(os.path.join(self.d_root, blocker), "w") as f:
                f.write("a file where a folder would have to be\n")
        shortcut = os.path.join(self.desktop, "Quillmere.lnk")
        if os.path.exists(shortcut):
            os.unlink(shortcut)
        temp_before = set(os.listdir(self.temp))
        roots = self.roots()
        before = snapshot(roots)

        program = self.start()
        self.d.wait_window(WIZARD)
        wait_until(lambda: self.d.window(WIZARD)["visible"] and self.page() == 0,
                   message="wizard on its first page")
        self.next_to(1)
        self.next_to(2)
        self.type_path(path)
        self.next_to(3)
        self.d.wait_text(WIZARD, "编辑框3", "eq", f"安装信息\r\n安装路径：{path}\r\n")
        self.d.call("click", WIZARD, "按钮1")
        started = time.monotonic()
        wait_until(lambda: self.page() == 5 and not self.d.control(WIZARD, "按钮3")["enabled"],
                   timeout=deadline, message="the Finished page with Cancel disabled")
        took = time.monotonic() - started
        self.assertTrue(program.running(), "the installer ended before Finish")
        c = self.d.controls(WIZARD)
        log = c["编辑框4"]["text"]

        temp_copies = {os.path.join(self.temp, n) for n in set(os.listdir(self.temp)) - temp_before
                       if re.fullmatch(r"[0-9a-f]+\.tmp", n)}
        allowed_files = set(temp_copies)
        if c["标签6"]["text"] == "安装完成。":
            self.assertTrue(log.endswith("安装完成。\r\n"), log)
            self.assertTrue(c["外形框2"]["visible"])
            full = self.d.call("full_path", path)
            self.assertRegex(full, r"^[A-Za-z]:\\", f"installed to {full!r}, not on a drive")
            target = self.session.host_path(full)
            for entry, data in self.files.items():
                with open(os.path.join(target, *entry.split("/")), "rb") as f:
                    self.assertEqual(f.read(), data, entry)
            self.assertTrue(os.path.isfile(shortcut), "no desktop shortcut")
            allowed_files.add(shortcut)
            outcome = f"installed to {full if len(full) < 40 else full[:20] + '...'} ({len(full)} characters)"
        else:
            self.assertEqual(c["标签6"]["text"], "安装失败。")
            code = re.fullmatch(r"安装失败。错误代码：(-?\d+)（.*）", c["标签7"]["text"])
            self.assertIsNotNone(code, c["标签7"]["text"])
            self.assertIn(code.group(1), FAILED_TEXTS)
            self.assertEqual(c["标签7"]["text"], FAILED_TEXTS[code.group(1)])
            self.assertFalse(c["外形框2"]["visible"])
            self.assertTrue(log.endswith(f"安装失败。错误代码：{code.group(1)}\r\n"), log)
            self.assertNotIn("安装完成。", log)
            self.assertFalse(os.path.exists(shortcut), "a shortcut after a failure")
            full = self.d.attempt("full_path", path)
            target = self.on_drive(full)
            outcome = f"failed, code {code.group(1)}"

        self.d.call("click", WIZARD, "按钮1")  # Finish
        self.assertEqual(program.wait(), 0)
        for copy in temp_copies:
            os.unlink(copy)

        # Only the path's own folders (and, below them, the install) may be new.
        after = snapshot(roots)
        changed = {p for p in set(before) | set(after) if before.get(p) != after.get(p)}
        # The path's own folders: each leading part as the system resolves it
        # on its own ("D:\\dir " names the folder D:\\dir).
        parts = path.split("\\")
        own = {self.on_drive(self.d.attempt("full_path", "\\".join(parts[:i])))
               for i in range(2, len(parts))}
        outside = []
        for p in sorted(changed):
            inside = (target is not None and within(p, target)) or (
                p in own and after.get(p, ("",))[0] == "dir")
            if p not in allowed_files and not inside:
                outside.append(p)
        self.assertEqual(outside, [], f"written outside {path!r} ({outcome}; resolved {full!r})")
        return f"{name:28} {path[:40]!r:44} {outcome} after {took:.2f} s"

    def test_hostile_paths_end_on_the_finished_page_and_write_only_inside(self):
        for name, path, blocker, deadline in CASES:
            with self.subTest(case=name, path=path):
                try:
                    line = self.run_case(name, path, blocker, deadline)
                except Exception:
                    self.outcomes.append(f"{name:28} {path[:40]!r:44} FAILED (see above)")
                    raise
                finally:
                    self.tearDown()
                    self.programs = []
                self.outcomes.append(line)


if __name__ == "__main__":
    run_tests()
