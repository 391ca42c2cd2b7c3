"""End-to-end test harness: runs a Windows program under Wine on the build's
private X display and works its windows through qmdriver.

A test file calls run_tests(); its command line takes
  --exe PATH      the program under test
  --driver PATH   qmdriver.exe
  --build-root    folder holding the Wine prefix (default $QM_BUILD_ROOT, else
                  <repo>/build)
  --payload PATH  the archive the installer embeds (default
                  <repo>/build/native/payload/Payload.zip)
and passes the rest to unittest. Every wait has a deadline; teardown ends only
the processes this run started, then the prefix's own wineserver.
"""

import argparse
import contextlib
import json
import os
import queue
import shutil
import subprocess
import sys
import tempfile
import threading
import time
import unittest

HERE = os.path.dirname(os.path.abspath(__file__))
REPO = os.path.dirname(os.path.dirname(HERE))

# Deadlines, seconds.
WAIT = 15
DRIVER_ANSWER = 30

CHINESE = "zh_CN.UTF-8"   # ANSI code page 936
WESTERN = "en_US.UTF-8"   # ANSI code page 1252


class Config:
    exe = None
    driver = None
    # QM_BUILD_ROOT, as wine-env.sh reads it, keeps a run by hand apart.
    build_root = os.environ.get("QM_BUILD_ROOT") or os.path.join(REPO, "build")
    payload = os.path.join(REPO, "build", "native", "payload", "Payload.zip")


def wait_until(cond, timeout=WAIT, interval=0.05, message="condition"):
    """Polls cond until it returns something truthy; returns that value, or
    fails the test when the deadline passes."""
    deadline = time.monotonic() + timeout
    last_error = None
    while True:
        try:
            value = cond()
            if value:
                return value
        except DriverError as e:
            last_error = e
        if time.monotonic() >= deadline:
            detail = f" (last error: {last_error})" if last_error else ""
            raise AssertionError(f"timed out after {timeout} s waiting for {message}{detail}")
        time.sleep(interval)


class WineSession:
    """The prefix and X display of wine-env.sh, made ready on first use."""

    def __init__(self, build_root):
        self.build_root = build_root
        script = (f"source '{HERE}/wine-env.sh' && qm_wine_ready >&2 && "
                  "env -0")
        out = subprocess.run(["bash", "-c", script], check=True, capture_output=True,
                             env=dict(os.environ, QM_BUILD_ROOT=build_root),
                             timeout=180).stdout
        env = dict(item.split("=", 1) for item in out.decode().split("\0") if "=" in item)
        self.base_env = {k: env[k] for k in
                         ("WINEPREFIX", "WINEARCH", "WINEDEBUG", "WINEDLLOVERRIDES", "DISPLAY")}
        self.prefix = self.base_env["WINEPREFIX"]
        self.display = self.base_env["DISPLAY"]
        # What a test saves on the desktop stays in the prefix: Wine links the
        # user folders to the host's home, and winemenubuilder would copy each
        # shortcut there as a launcher.
        self.base_env["WINEDLLOVERRIDES"] += ";winemenubuilder.exe=d"
        self._unlink_user_folders()
        self.log_dir = os.path.join(build_root, "wine-logs")
        os.makedirs(self.log_dir, exist_ok=True)

    def _unlink_user_folders(self):
        users = os.path.join(self.prefix, "drive_c", "users")
        for user in os.listdir(users):
            for name in os.listdir(os.path.join(users, user)):
                path = os.path.join(users, user, name)
                if os.path.islink(path) and os.path.isdir(path):
                    os.unlink(path)
                    os.mkdir(path)

    def env(self, locale=CHINESE):
        env = dict(os.environ)
        env.pop("LANG", None)
        env.update(self.base_env)
        env["LC_ALL"] = locale
        return env

    def log_path(self, name):
        return os.path.join(self.log_dir, name + ".log")

    def host_path(self, windows_path):
        """Where a path on one of the prefix's drives lies on the host."""
        drive, rest = windows_path[:2], windows_path[2:]
        root = os.path.realpath(os.path.join(self.prefix, "dosdevices", drive.lower()))
        return os.path.join(root, *[part for part in rest.split("\\") if part])

    def screenshot(self, path):
        subprocess.run(["import", "-display", self.display, "-window", "root", path],
                       check=True, timeout=WAIT, capture_output=True)
        return path

    def screen_pixels(self, name="screen"):
        """Captures the whole display (kept as <build>/wine-logs/<name>.png)
        and returns it as an Image."""
        png = self.screenshot(os.path.join(self.log_dir, name + ".png"))
        ppm = subprocess.run(["convert", png, "ppm:-"], check=True, timeout=WAIT,
                             capture_output=True).stdout
        return Image.from_ppm(ppm)

    def map_drive(self, letter, target):
        """Points dosdevices/<letter>: at target (None removes it); returns
        the previous target. A running wineserver keeps the drives it found
        at its start, so call this between shutdown() and the next start."""
        link = os.path.join(self.prefix, "dosdevices", letter.lower() + ":")
        previous = os.readlink(link) if os.path.islink(link) else None
        if os.path.lexists(link):
            os.unlink(link)
        if target is not None:
            os.symlink(target, link)
        return previous

    def shutdown(self):
        # Ends this prefix's wineserver and every Wine process left in it.
        subprocess.run(["wineserver", "-k"], env=self.env(), timeout=WAIT,
                       stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        subprocess.run(["wineserver", "-w"], env=self.env(), timeout=WAIT,
                       stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)


class Image:
    """An RGB picture read from a binary PPM."""

    def __init__(self, width, height, data):
        self.width, self.height, self.data = width, height, data

    @classmethod
    def from_ppm(cls, raw):
        fields, pos = [], 0
        while len(fields) < 4:
            while raw[pos:pos + 1].isspace():
                pos += 1
            if raw[pos:pos + 1] == b"#":
                pos = raw.index(b"\n", pos)
                continue
            end = pos
            while not raw[end:end + 1].isspace():
                end += 1
            fields.append(raw[pos:end])
            pos = end
        assert fields[0] == b"P6" and int(fields[3]) == 255, "not an 8-bit P6 picture"
        return cls(int(fields[1]), int(fields[2]), raw[pos + 1:])

    def pixel(self, x, y):
        i = (y * self.width + x) * 3
        return tuple(self.data[i:i + 3])

    def count(self, colour, left, top, right, bottom, step=1):
        """Pixels of exactly that colour in [left, right) x [top, bottom)."""
        return sum(1 for y in range(top, bottom, step) for x in range(left, right, step)
                   if self.pixel(x, y) == colour)


class DriverError(Exception):
    pass


class Driver:
    """One qmdriver process in batch mode: a command per line, an answer per
    line."""

    def __init__(self, session, path, locale=CHINESE):
        with open(session.log_path("qmdriver"), "ab") as log:
            self.process = subprocess.Popen(
                ["wine", path, "batch"], stdin=subprocess.PIPE, stdout=subprocess.PIPE,
                stderr=log, env=session.env(locale), cwd=tempfile.gettempdir())
        self.answers = queue.Queue()
        self.reader = threading.Thread(target=self._read, daemon=True)
        self.reader.start()

    def _read(self):
        for line in self.process.stdout:
            self.answers.put(line)
        self.answers.put(None)

    @staticmethod
    def _escape(word):
        return (str(word).replace("\\", "\\\\").replace("\t", "\\t")
                .replace("\n", "\\n").replace("\r", "\\r"))

    def call(self, *words, timeout=DRIVER_ANSWER):
        """Runs one command; returns its value or raises DriverError."""
        line = "\t".join(self._escape(w) for w in words) + "\n"
        self.process.stdin.write(line.encode("utf-8"))
        self.process.stdin.flush()
        try:
            raw = self.answers.get(timeout=timeout)
        except queue.Empty:
            raise AssertionError(f"qmdriver did not answer {words[0]} within {timeout} s")
        if raw is None:
            raise AssertionError("qmdriver ended")
        answer = json.loads(raw.decode("utf-8"))
        if not answer["ok"]:
            raise DriverError(f"{words[0]}: {answer['error']}")
        return answer["value"]

    def attempt(self, *words):
        """Like call, but None where call would raise DriverError."""
        try:
            return self.call(*words)
        except DriverError:
            return None

    # Waits take seconds; the driver counts milliseconds.
    def wait_window(self, caption, timeout=WAIT):
        return self.call("wait_window", caption, int(timeout * 1000), timeout=timeout + 10)

    def wait_gone(self, caption, timeout=WAIT):
        return self.call("wait_gone", caption, int(timeout * 1000), timeout=timeout + 10)

    def wait_text(self, caption, name, mode, value, timeout=WAIT):
        return self.call("wait_text", caption, name, mode, value, int(timeout * 1000),
                         timeout=timeout + 10)

    def wait_msgbox(self, timeout=WAIT):
        return self.call("wait_msgbox", int(timeout * 1000), timeout=timeout + 10)

    def wait_picker(self, timeout=WAIT):
        return self.call("wait_picker", int(timeout * 1000), timeout=timeout + 10)

    def window(self, caption):
        return self.call("window", caption)

    def control(self, caption, name):
        return self.call("control", caption, name)

    def controls(self, caption):
        return {c["name"]: c for c in self.call("controls", caption) if c["name"]}

    def focus(self, caption):
        return self.call("focus", caption)["name"]

    def msgbox_count(self):
        return self.call("msgbox_count")

    def close(self):
        if self.process.poll() is None:
            try:
                self.process.stdin.write(b"quit\n")
                self.process.stdin.flush()
                self.process.wait(timeout=WAIT)
            except (BrokenPipeError, subprocess.TimeoutExpired):
                self.process.kill()
                self.process.wait(timeout=WAIT)
        self.reader.join(timeout=WAIT)
        self.process.stdin.close()
        self.process.stdout.close()


class Program:
    """The program under test, started with `wine` in a chosen locale."""

    def __init__(self, session, exe, locale=CHINESE, args=(), env=None):
        with open(session.log_path(os.path.basename(exe)), "ab") as log:
            self.process = subprocess.Popen(
                ["wine", exe, *args], stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL,
                stderr=log, env=dict(session.env(locale), **(env or {})),
                cwd=tempfile.gettempdir())

    def running(self):
        return self.process.poll() is None

    def wait(self, timeout=WAIT):
        """The exit status as Wine reports it (-1 shows as 255)."""
        return self.process.wait(timeout=timeout)

    def stop(self):
        if self.running():
            self.process.kill()
            self.process.wait(timeout=WAIT)


class WineTest(unittest.TestCase):
    """Base for the test files: one session and one driver for the file, a
    fresh program per test (self.start())."""

    session = None
    driver = None

    @classmethod
    def setUpClass(cls):
        if WineTest.session is None:
            WineTest.session = WineSession(Config.build_root)
        if WineTest.driver is None:
            WineTest.driver = Driver(WineTest.session, Config.driver)

    def setUp(self):
        self.programs = []

    def tearDown(self):
        for program in self.programs:
            program.stop()
        # Windows of a killed program go with it; wait so the next test starts clean.
        for program in self.programs:
            program.process.wait(timeout=WAIT)

    def _restart_wine(self, change):
        self.tearDown()
        self.programs = []
        WineTest.driver.close()
        self.session.shutdown()
        result = change()
        WineTest.driver = Driver(self.session, Config.driver)
        return result

    @contextlib.contextmanager
    def drive(self, letter, target):
        """Maps a drive letter to a host folder for the duration, restoring
        the prefix's own mapping afterwards. Wine is restarted on both ends,
        so programs are started inside the block."""
        previous = self._restart_wine(lambda: self.session.map_drive(letter, target))
        try:
            yield
        finally:
            self._restart_wine(lambda: self.session.map_drive(letter, previous))

    @classmethod
    def map_drives(cls, mapping):
        """Maps drive letters to host folders (None removes one) for the tests
        that follow, restarting Wine; returns the previous mapping, to be
        given back the same way."""
        WineTest.driver.close()
        WineTest.session.shutdown()
        previous = {letter: WineTest.session.map_drive(letter, target)
                    for letter, target in mapping.items()}
        WineTest.driver = Driver(WineTest.session, Config.driver)
        return previous

    @classmethod
    def scratch_drive(cls, letter, prefix="qm-e2e-"):
        """A fresh host folder mapped as a drive for the tests of the class;
        after them the mapping is given back and the folder removed."""
        root = tempfile.mkdtemp(prefix=prefix)
        previous = cls.map_drives({letter: root})
        cls.addClassCleanup(shutil.rmtree, root, ignore_errors=True)
        cls.addClassCleanup(cls.map_drives, previous)
        return root

    def start(self, locale=CHINESE, exe=None, args=(), env=None):
        program = Program(self.session, exe or Config.exe, locale, args, env)
        self.programs.append(program)
        return program

    @property
    def d(self):
        return self.driver


def _end_session():
    if WineTest.driver is not None:
        WineTest.driver.close()
    if WineTest.session is not None:
        WineTest.session.shutdown()


# The installer's windows, and for each wizard page the one control that is
# shown on that page alone.
HOST = "程序安装"
WIZARD = "程序安装向导"
PAGE_MARKS = ["标签1", "分组框1", "分组框2", "分组框3", "分组框4", "分组框5"]


class WizardTest(WineTest):
    """A WineTest that works the installer's wizard as a person would."""

    def page(self):
        controls = self.driver.controls(WIZARD)
        shown = [i for i, name in enumerate(PAGE_MARKS) if controls[name]["visible"]]
        return shown[0] if len(shown) == 1 else None

    def next_to(self, page):
        self.driver.call("click", WIZARD, "按钮1")
        wait_until(lambda: self.page() == page, message=f"page {page}")

    def start_install(self):
        """Next on the Ready page; a failing install may be over before page 4 is seen."""
        self.driver.call("click", WIZARD, "按钮1")
        wait_until(lambda: self.page() in (4, 5), message="the install started")

    def wait_finished(self):
        wait_until(lambda: self.page() == 5 and not self.driver.control(WIZARD, "按钮3")["enabled"],
                   timeout=60, message="the Finished page with Cancel disabled")
        return self.driver.controls(WIZARD)

    def type_path(self, path):
        """Types a path into the emptied install path box."""
        self.driver.call("set_text", WIZARD, "编辑框2", "")
        self.driver.call("key", WIZARD, "alt+l")
        wait_until(lambda: self.driver.focus(WIZARD) == "编辑框2", message="focus in the path box")
        self.driver.call("type", WIZARD, path)
        self.driver.wait_text(WIZARD, "编辑框2", "eq", path)


def run_tests():
    parser = argparse.ArgumentParser()
    parser.add_argument("--exe", required=True)
    parser.add_argument("--driver", required=True)
    parser.add_argument("--build-root", default=Config.build_root)
    parser.add_argument("--payload", default=Config.payload)
    args, rest = parser.parse_known_args()
    Config.payload = os.path.abspath(args.payload)
    Config.exe = os.path.abspath(args.exe)
    Config.driver = os.path.abspath(args.driver)
    Config.build_root = os.path.abspath(args.build_root)
    try:
        program = unittest.main(argv=[sys.argv[0], *rest], exit=False, verbosity=2)
    finally:
        _end_session()
    sys.exit(0 if program.result.wasSuccessful() else 1)


def empty_folder(path):
    """Removes everything inside a host folder, keeping the folder."""
    for name in os.listdir(path):
        full = os.path.join(path, name)
        if os.path.isdir(full) and not os.path.islink(full):
            shutil.rmtree(full)
        else:
            os.unlink(full)


def temp_folder(test, prefix="qm-e2e-"):
    """A scratch host folder removed when the test ends."""
    path = tempfile.mkdtemp(prefix=prefix)
    test.addCleanup(shutil.rmtree, path, ignore_errors=True)
    return path
