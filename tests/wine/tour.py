"""A guided tour of the installer: runs it under Wine on a private X display,
walks every wizard page with the install going into a scratch folder mapped
as D:, and saves one picture per page:

  <out>/tour-1-welcome.png ... <out>/tour-6-finished.png

Finish is pressed with both boxes cleared, so nothing is started. The prefix
lies under <out>/tour; the X server and the wineserver the tour started are
stopped at its end.

  python3 tests/wine/tour.py --exe QuillmereSetup.exe --driver qmdriver.exe --out build
"""

import argparse
import os
import select
import shutil
import subprocess
import sys
import tempfile
import time
import zipfile

import harness
from harness import Config, Driver, Program, WineSession, wait_until

WIZARD = "程序安装向导"
PAGES = [  # picture name, the control placed directly on that page
    ("welcome", "标签1"),
    ("release-notes", "分组框1"),
    ("options", "分组框2"),
    ("ready", "分组框3"),
    ("installing", "分组框4"),
    ("finished", "分组框5"),
]
MARGIN = 24     # backdrop around the wizard in each picture
BLUE = (95, 145, 255)


class Tour:
    def __init__(self, args):
        self.out = os.path.abspath(args.out)
        self.exe = os.path.abspath(args.exe)
        self.driver_exe = os.path.abspath(args.driver)
        self.root = os.path.join(self.out, "tour")
        os.makedirs(self.root, exist_ok=True)
        self.own_display = not self.display_running()
        self.session = WineSession(self.root)
        self.session.shutdown()  # a wineserver reads the drives at its start
        self.scratch = tempfile.mkdtemp(prefix="qm-tour-")
        self.previous_d = self.session.map_drive("d", self.scratch)
        self.d = Driver(self.session, self.driver_exe)
        self.program = None

    def display_running(self):
        try:
            with open(os.path.join(self.root, "wine-display")) as f:
                pid = int(f.read().split()[1])
            os.kill(pid, 0)
            return True
        except (OSError, ValueError, IndexError):
            return False

    def close(self):
        if self.program is not None:
            self.program.stop()
        self.d.close()
        self.session.shutdown()
        self.session.map_drive("d", self.previous_d)
        shutil.rmtree(self.scratch, ignore_errors=True)
        if self.own_display:
            subprocess.run(["bash", "-c", f"source '{harness.HERE}/wine-env.sh' && qm_wine_stop"],
                           env=dict(os.environ, QM_BUILD_ROOT=self.root), timeout=harness.WAIT,
                           stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)

    # --- pictures ---

    def wizard_area(self):
        r = self.d.window(WIZARD)["rect"]
        screen = self.d.call("screen")
        left, top = max(r["left"] - MARGIN, 0), max(r["top"] - MARGIN, 0)
        right = min(r["left"] + r["width"] + MARGIN, screen["width"])
        bottom = min(r["top"] + r["height"] + MARGIN, screen["height"])
        return left, top, right - left, bottom - top

    def picture(self, number, name):
        """Saves the wizard and some backdrop once two captures in a row
        agree (the page fully painted)."""
        x, y, w, h = self.wizard_area()
        raw = os.path.join(self.session.log_dir, "tour-screen.png")
        previous = [None]

        def settled():
            self.session.screenshot(raw)
            crop = subprocess.run(["convert", raw, "-crop", f"{w}x{h}+{x}+{y}", "+repage", "ppm:-"],
                                  check=True, capture_output=True, timeout=harness.WAIT).stdout
            same = crop == previous[0]
            previous[0] = crop
            return same

        wait_until(settled, interval=0.1, message=f"a steady picture of {name}")
        path = os.path.join(self.out, f"tour-{number}-{name}.png")
        subprocess.run(["convert", raw, "-crop", f"{w}x{h}+{x}+{y}", "+repage", "-strip", path],
                       check=True, timeout=harness.WAIT)
        print(path)

    # --- the walk ---

    def page_is(self, mark):
        return self.d.control(WIZARD, mark)["visible"]

    def run(self):
        held = self.hold_install()
        self.program = Program(self.session, self.exe)
        self.d.wait_window(WIZARD)
        wait_until(lambda: self.d.window(WIZARD)["visible"] and self.page_is("标签1"),
                   message="the wizard on its first page")
        host = self.d.window("程序安装")["client"]
        wait_until(lambda: tuple(self.d.call("pixel", host["left"] + 2,
                                             host["top"] + host["height"] - 3)) == BLUE,
                   message="the backdrop painted")
        for number, (name, mark) in enumerate(PAGES, 1):
            if number > 1 and name != "finished":
                self.d.call("click", WIZARD, "按钮1")
            if name == "finished":
                held.release()
            wait_until(lambda: self.page_is(mark), timeout=60, message=f"the {name} page")
            if name == "options":
                self.d.wait_text(WIZARD, "编辑框2", "eq", "D:\\Brenmoor\\Vantrel2")
            if name == "installing":
                wait_until(held.reached, message="the install under way")
            if name == "finished":
                wait_until(lambda: not self.d.control(WIZARD, "按钮3")["enabled"],
                           message="the install ended")
                self.d.wait_text(WIZARD, "标签6", "eq", "安装完成。")
            self.picture(number, name)

        for box in ("选择框2", "选择框3"):
            if self.d.call("checked", WIZARD, box):
                raise AssertionError(f"{box} is ticked; the tour finishes with both cleared")
        self.d.call("click", WIZARD, "按钮1")
        code = self.program.wait()
        if code != 0:
            raise AssertionError(f"the installer ended with {code}")
        self.program = None

    def hold_install(self):
        """Keeps the install on its page for the picture: the output path of
        a large archive entry is a FIFO that is read only on release()."""
        entry = self.large_entry()
        path = os.path.join(self.scratch, "Brenmoor", "Vantrel2", *entry[0].split("/"))
        os.makedirs(os.path.dirname(path), exist_ok=True)
        os.mkfifo(path)
        return Hold(path, entry[1])

    @staticmethod
    def large_entry():
        with zipfile.ZipFile(Config.payload) as z:
            for info in z.infolist():
                name = info.filename.encode("cp437").decode("cp936")
                if "/" in name and not name.endswith("/") and info.file_size > 256 * 1024:
                    return name, info.file_size
        raise AssertionError("no large file entry below a folder in the payload")


class Hold:
    def __init__(self, path, size):
        self.fd = os.open(path, os.O_RDONLY | os.O_NONBLOCK)
        self.size = size

    def reached(self):
        return bool(select.select([self.fd], [], [], 0)[0])

    def release(self):
        got, deadline = 0, time.monotonic() + 60
        while got < self.size and time.monotonic() < deadline:
            if select.select([self.fd], [], [], 1)[0]:
                try:
                    got += len(os.read(self.fd, 1 << 16))
                except BlockingIOError:
                    pass
        os.close(self.fd)


def main():
    parser = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    parser.add_argument("--exe", required=True)
    parser.add_argument("--driver", required=True)
    parser.add_argument("--out", required=True)
    parser.add_argument("--payload", default=Config.payload)
    args = parser.parse_args()
    Config.payload = os.path.abspath(args.payload)
    tour = Tour(args)
    try:
        tour.run()
    finally:
        tour.close()
    return 0


if __name__ == "__main__":
    sys.exit(main())
