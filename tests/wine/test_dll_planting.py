"""A DLL planted beside the installer is not loaded. A copy of the installer
sits in a scratch folder together with a marker DLL under the names of DLLs
that the installer, the folder picker or the shell link code load by name
while it runs; the marker DLL appends its path to a marker file when loaded.

The comparison comes first: qmloader, a program without the installer's DLL
search hardening, placed in the same folder and asked for each name with
LoadLibraryW, must load the planted copy (its path lands in the marker file).
That shows the names are ones Wine resolves from the program's folder, so the
check on the installer can fail. Then the installer is worked through the
wizard, the folder picker (Browse, a folder picked, OK) and an install; the
marker file must not exist.

--planted PATH   the marker DLL (qmplanted.dll)
--loader PATH    the comparison program (qmloader.exe)
"""

import os
import shutil
import subprocess
import sys
import tempfile

from harness import Config, WIZARD, WizardTest, run_tests, wait_until

COMPUTER = ("我的电脑", "My Computer")
CSIDL_DESKTOPDIRECTORY = 16

# Names for which Wine 8 takes a copy in the program's folder over anything
# of its own (the comparison checks it). Wine keeps its builtin for uxtheme,
# version, msimg32, actxprxy, oleaut32, imm32 and most other system names
# whatever lies beside the program, so planting those shows nothing. shcore
# is left out: Wine resolves it as an import of its shlwapi before the
# installer's first instruction, where no hardening reaches (Windows maps it
# as a known DLL).
PLANTED = ["propsys.dll", "dwmapi.dll", "apphelp.dll", "linkinfo.dll", "ntshrui.dll",
           "cscapi.dll", "profapi.dll", "cryptbase.dll", "textshaping.dll", "edputil.dll"]


def take_option(name):
    """Removes --name VALUE from the command line; returns VALUE."""
    i = sys.argv.index(name)
    value = sys.argv[i + 1]
    del sys.argv[i:i + 2]
    return os.path.abspath(value)


PLANTED_DLL = take_option("--planted")
LOADER = take_option("--loader")


class DllPlantingTest(WizardTest):
    @classmethod
    def setUpClass(cls):
        super().setUpClass()
        cls.d_root = cls.scratch_drive("d", "qm-e2e-plant-d-")
        os.mkdir(os.path.join(cls.d_root, "Apps"))

    def setUp(self):
        super().setUp()
        # The downloads folder: the program and the planted DLLs side by side.
        self.folder = tempfile.mkdtemp(prefix="qm-e2e-plant-")
        self.addCleanup(shutil.rmtree, self.folder, ignore_errors=True)
        for name in PLANTED:
            shutil.copy(PLANTED_DLL, os.path.join(self.folder, name))
        self.marker = os.path.join(self.folder, "loaded.txt")
        self.env = {"QM_PLANTED_MARKER": "Z:" + self.marker.replace("/", "\\")}
        desktop = self.session.host_path(self.d.call("folder_path", CSIDL_DESKTOPDIRECTORY))
        self.shortcut = os.path.join(desktop, "Quillmere.lnk")
        if os.path.exists(self.shortcut):
            os.unlink(self.shortcut)

    def marked(self):
        """Lines of the marker file (loaded planted DLLs, lower case)."""
        if not os.path.exists(self.marker):
            return []
        with open(self.marker, encoding="latin-1") as f:
            return [line.strip().lower() for line in f if line.strip()]

    def test_the_loader_without_hardening_loads_each_planted_dll(self):
        loader = shutil.copy(LOADER, self.folder)
        out = subprocess.run(["wine", loader, *PLANTED], env=dict(self.session.env(), **self.env),
                             capture_output=True, timeout=60, cwd=tempfile.gettempdir())
        lines = dict(line.split("\t", 1) for line in out.stdout.decode().splitlines() if "\t" in line)
        marked = self.marked()
        for name in PLANTED:
            with self.subTest(name=name):
                self.assertIn(name, lines, out.stdout.decode())
                self.assertTrue(lines[name].lower().endswith("\\" + name), lines[name])
                self.assertTrue(any(m.endswith("\\" + name) for m in marked), marked)

    def test_the_installer_loads_no_planted_dll_through_browse_and_install(self):
        exe = shutil.copy(Config.exe, self.folder)
        program = self.start(exe=exe, env=self.env)
        self.d.wait_window(WIZARD)
        wait_until(lambda: self.d.window(WIZARD)["visible"] and self.page() == 0,
                   message="wizard on its first page")
        self.next_to(1)
        self.next_to(2)
        # Browse: the shell's folder picker, D:\Apps picked.
        self.d.call("click", WIZARD, "按钮4")
        self.d.wait_picker()
        root = self.d.call("picker_items")
        computer = [t for t in self.d.call("picker_items", root[0]) if t in COMPUTER]
        self.d.call("picker_select", root[0], computer[0], "D:", "Apps")
        self.d.call("picker_ok")
        self.d.wait_text(WIZARD, "编辑框2", "eq", "D:\\Apps\\Vantrel2")
        self.next_to(3)
        self.d.call("click", WIZARD, "按钮1")
        wait_until(lambda: self.page() == 5 and not self.d.control(WIZARD, "按钮3")["enabled"],
                   timeout=60, message="the Finished page with Cancel disabled")
        self.assertEqual(self.d.control(WIZARD, "标签6")["text"], "安装完成。")
        # The shell link code ran: the shortcut is there.
        self.assertTrue(os.path.isfile(self.shortcut))
        self.assertTrue(os.path.isfile(os.path.join(self.d_root, "Apps", "Vantrel2", "QMV.exe")))
        self.d.call("click", WIZARD, "按钮1")  # Finish
        self.assertEqual(program.wait(), 0)
        self.assertEqual(self.marked(), [])
        os.unlink(self.shortcut)


if __name__ == "__main__":
    run_tests()
