"""A private X server (Xvfb) and the real camera window on it, driven with
xdotool as an operator's mouse and keyboard would drive it."""
import os
import subprocess
import tempfile
import time

TITLE = "Tessaly高拍"

# Window coordinates of the camera window's controls (its form's geometry).
PHOTO_BUTTON = (600 + 70, 420 + 18)
CLOSE_BUTTON = (840 + 70, 420 + 18)
RESOLUTION_CHOOSER = (360 + 90, 420 + 18)
CAMERA_CHOOSER = (80 + 90, 420 + 18)

PHOTO = "/tmp/kmo_cv.jpg"


def file_state(path):
    """What tells one version of a file from the next (None when it is not there)."""
    try:
        st = os.lstat(path)
        return (st.st_ino, st.st_mtime_ns, st.st_size)
    except FileNotFoundError:
        return None


class Xvfb:
    """Xvfb on a display number it picks itself."""

    def __init__(self, size="1280x800x24"):
        self.size = size
        self.process = None
        self.display = None

    def start(self, timeout=20):
        for tool in ("Xvfb", "xdotool"):
            if not any(os.access(os.path.join(d, tool), os.X_OK) for d in os.environ.get("PATH", "/usr/bin").split(":")):
                raise SystemExit(f"FAIL: {tool} is missing; install it (scripts/install-deps.sh)")
        read_end, write_end = os.pipe()
        self.process = subprocess.Popen(["Xvfb", "-displayfd", str(write_end), "-screen", "0", self.size,
                                         "-nolisten", "tcp", "-noreset"],
                                        pass_fds=(write_end,), stdout=subprocess.DEVNULL,
                                        stderr=subprocess.DEVNULL, start_new_session=True)
        os.close(write_end)
        number = b""
        deadline = time.monotonic() + timeout
        with os.fdopen(read_end, "rb") as pipe:
            while not number.endswith(b"\n") and time.monotonic() < deadline:
                chunk = pipe.read(1)
                if not chunk:
                    break
                number += chunk
        if not number.strip():
            self.stop()
            raise SystemExit("FAIL: Xvfb did not start")
        self.display = ":" + number.decode().strip()
        return self

    def env(self, base=None):
        env = dict(os.environ if base is None else base)
        env["DISPLAY"] = self.display
        env["QT_QPA_PLATFORM"] = "xcb"
        env.pop("XAUTHORITY", None)
        return env

    def run(self, *args, check=True):
        return subprocess.run(list(args), env=self.env(), capture_output=True, text=True, check=check, timeout=30)

    def stop(self):
        if self.process and self.process.poll() is None:
            self.process.terminate()
            try:
                self.process.wait(5)
            except subprocess.TimeoutExpired:
                self.process.kill()
                self.process.wait()


class Desktop:
    """The camera windows shown on one X server."""

    def __init__(self, xvfb):
        self.x = xvfb

    def windows(self):
        out = self.x.run("xdotool", "search", "--onlyvisible", "--name", TITLE, check=False)
        return [int(w) for w in out.stdout.split()]

    def wait_for_new_window(self, known=(), timeout=20):
        """The id of a camera window shown that is not in `known`."""
        deadline = time.monotonic() + timeout
        while time.monotonic() < deadline:
            new = [w for w in self.windows() if w not in known]
            if new:
                return new[-1]
            time.sleep(0.05)
        raise AssertionError("no new camera window was shown")

    def wait_gone(self, window, timeout=20):
        deadline = time.monotonic() + timeout
        while time.monotonic() < deadline:
            if window not in self.windows():
                return
            time.sleep(0.05)
        raise AssertionError(f"camera window {window} is still shown")

    def click(self, window, point):
        x, y = point
        self.x.run("xdotool", "mousemove", "--window", str(window), str(x), str(y), "click", "1")

    def key(self, window, *keys):
        """Keys typed on `window` after giving it the keyboard (real XTEST events, not sent events)."""
        self.x.run("xdotool", "windowfocus", "--sync", str(window))
        self.x.run("xdotool", "key", "--delay", "30", *keys)

    def process_windows(self, pid):
        out = self.x.run("xdotool", "search", "--onlyvisible", "--pid", str(pid), "", check=False)
        return set(int(w) for w in out.stdout.split())

    def choose(self, window, chooser, steps_down, pid, timeout=20):
        """Opens a chooser's popup list with the mouse, moves `steps_down` entries down from the
        current one with the keyboard and picks it; returns once the popup is gone."""
        known = self.process_windows(pid)
        self.click(window, chooser)
        deadline = time.monotonic() + timeout
        while not (self.process_windows(pid) - known):
            if time.monotonic() > deadline:
                raise AssertionError("the chooser's popup list did not open")
            time.sleep(0.05)
        self.x.run("xdotool", "key", "--delay", "40", *(["Down"] * steps_down), "Return")
        while self.process_windows(pid) - known:
            if time.monotonic() > deadline:
                raise AssertionError("the chooser's popup list did not close")
            time.sleep(0.05)

    def pixel(self, window, x, y):
        out = subprocess.run(["import", "-window", str(window), "-crop", f"1x1+{x}+{y}", "+repage", "-depth", "8",
                              "rgb:-"], env=self.x.env(), capture_output=True, timeout=30)
        return tuple(out.stdout[:3]) if out.returncode == 0 and len(out.stdout) >= 3 else None

    def preview_live(self, window):
        """Whether the window's preview shows a camera picture: its corner is not the window's own
        background (an empty preview, or one with a short centred text, shows that)."""
        background = self.pixel(window, 1025, 475)
        corner = self.pixel(window, 4, 14)
        return background is not None and corner is not None and corner != background

    def wait_for_preview(self, window, timeout=20):
        deadline = time.monotonic() + timeout
        while not self.preview_live(window):
            if time.monotonic() > deadline:
                raise AssertionError("the window never showed a live picture")
            time.sleep(0.05)

    def take_picture(self, window, timeout=20):
        """Presses 拍照 once the preview is live and returns the picture the window wrote."""
        self.wait_for_preview(window)
        before = file_state(PHOTO)
        self.click(window, PHOTO_BUTTON)
        deadline = time.monotonic() + timeout
        while time.monotonic() < deadline:
            now = file_state(PHOTO)
            if now is not None and now != before and not os.path.islink(PHOTO):
                with open(PHOTO, "rb") as f:
                    return f.read()
            time.sleep(0.05)
        raise AssertionError("拍照 wrote no picture")

    def screenshot(self, window, path):
        self.x.run("import", "-window", str(window), path)
