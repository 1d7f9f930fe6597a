#!/usr/bin/python3
"""ZCCameraPic end to end: the built `periphd --simulate` on a private Xvfb,
a WebSocket client as the page, and the real camera window operated with
xdotool (mouse clicks on its buttons, the resolution chooser's popup).

    test_camera_e2e.py PERIPHD
"""
import asyncio
import base64
import json
import os
import socket
import stat
import subprocess
import sys
import tempfile
import time

import websockets

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
from xwindow import CLOSE_BUTTON, PHOTO, PHOTO_BUTTON, RESOLUTION_CHOOSER, Desktop, Xvfb, file_state  # noqa: E402


def free_port():
    with socket.socket() as s:
        s.bind(("127.0.0.1", 0))
        return s.getsockname()[1]


def expect(got, want, what):
    if got != want:
        raise AssertionError(f"{what}: got {got!r}, want {want!r}")


def picture_info(data):
    """(width, height, (r, g, b) at 5,5, (r, g, b) at the centre) of an image, read by ImageMagick."""
    size = subprocess.run(["convert", "-", "-format", "%w %h", "info:"], input=data, capture_output=True,
                          check=True).stdout.split()
    width, height = int(size[0]), int(size[1])
    pixels = subprocess.run(["convert", "-", "-depth", "8", "rgb:-"], input=data, capture_output=True,
                            check=True).stdout

    def at(x, y):
        i = 3 * (y * width + x)
        return tuple(pixels[i:i + 3])

    return width, height, at(5, 5), at(width // 2, height // 2)


def near(colour, want, tolerance=30):
    return all(abs(a - b) <= tolerance for a, b in zip(colour, want))


class Session:
    def __init__(self, binary):
        self.xvfb = Xvfb().start()
        self.desktop = Desktop(self.xvfb)
        self.port = free_port()
        self.log = tempfile.TemporaryFile()
        self.periphd = subprocess.Popen([binary, "--simulate", "--port", str(self.port)], env=self.xvfb.env(),
                                        stdout=self.log, stderr=subprocess.STDOUT)
        self.ws = None
        self.tags = 0

    async def connect(self, timeout=20):
        deadline = time.monotonic() + timeout
        while True:
            if self.periphd.poll() is not None:
                raise AssertionError(f"periphd exited with {self.periphd.returncode}")
            try:
                return await websockets.connect(f"ws://127.0.0.1:{self.port}", max_size=None)
            except OSError:
                if time.monotonic() > deadline:
                    raise
                await asyncio.sleep(0.05)

    async def call(self, request, ws=None):
        ws = ws or self.ws
        await ws.send(json.dumps(request))
        return json.loads(await asyncio.wait_for(ws.recv(), 20))

    async def open_window(self, ws=None):
        """Sends ZCCameraPic; returns the new window and the pending reply."""
        ws = ws or self.ws
        self.tags += 1
        tag = f"cam{self.tags}"
        known = self.desktop.windows()
        await ws.send(json.dumps({"function": "ZCCameraPic", "_tflag": tag}))
        window = await asyncio.to_thread(self.desktop.wait_for_new_window, known)
        return window, tag, asyncio.ensure_future(asyncio.wait_for(ws.recv(), 30))

    async def take_picture(self, window, want_size=None):
        data = await asyncio.to_thread(self.desktop.take_picture, window)
        if want_size is not None:
            expect(picture_info(data)[:2], want_size, "picture size")
        return data

    async def close_window(self, window, pending):
        await asyncio.to_thread(self.desktop.click, window, CLOSE_BUTTON)
        reply = json.loads(await pending)
        await asyncio.to_thread(self.desktop.wait_gone, window)
        return reply

    def stop(self):
        if self.periphd.poll() is None:
            self.periphd.terminate()
            try:
                self.periphd.wait(10)
            except subprocess.TimeoutExpired:
                self.periphd.kill()
        self.xvfb.stop()

    def output(self):
        self.log.seek(0)
        return self.log.read().decode(errors="replace")


async def photo_at_640x480(s):
    window, tag, pending = await s.open_window()
    taken = await s.take_picture(window)
    reply = await s.close_window(window, pending)
    expect((reply["functionName"], reply["success"], reply["msg"], reply["_tflag"]), ("ZCCameraPic", 1, "", tag),
           "reply")
    photo = base64.b64decode(reply["Base64"])
    if photo != taken:
        raise AssertionError(f"the returned photo ({len(photo)} bytes) is not the picture written ({len(taken)})")
    width, height, corner, _ = picture_info(photo)
    expect((width, height), (640, 480), "photo size")
    # The document camera's desk, not the portrait camera's blue backdrop.
    if not near(corner, (74, 66, 58)):
        raise AssertionError(f"the photo is not the document camera's picture: corner {corner}")
    mode = stat.S_IMODE(os.lstat(PHOTO).st_mode)
    expect(oct(mode), oct(0o600), "photo file mode")


async def photo_at_1920x1080(s):
    window, tag, pending = await s.open_window()
    await asyncio.to_thread(s.desktop.choose, window, RESOLUTION_CHOOSER, 6, s.periphd.pid)
    await s.take_picture(window, want_size=(1920, 1080))
    reply = await s.close_window(window, pending)
    expect(reply["success"], 1, "success")
    expect(picture_info(base64.b64decode(reply["Base64"]))[:2], (1920, 1080), "photo size")


async def earlier_picture_not_returned(s):
    # The file holds the previous customer's picture from the tests above.
    if not os.path.exists(PHOTO):
        raise AssertionError("expected an earlier picture in " + PHOTO)
    before = file_state(PHOTO)
    window, tag, pending = await s.open_window()
    reply = await s.close_window(window, pending)
    expect((reply["success"], "Base64" in reply), (0, False), "closed without a picture")
    expect(file_state(PHOTO), before, "the earlier file is left alone")


async def planted_link_replaced(s):
    with tempfile.TemporaryDirectory() as private:
        victim = os.path.join(private, "victim")
        with open(victim, "wb") as f:
            f.write(b"precious")
        os.unlink(PHOTO)
        os.symlink(victim, PHOTO)
        window, tag, pending = await s.open_window()
        await s.take_picture(window)
        reply = await s.close_window(window, pending)
        expect(reply["success"], 1, "success")
        with open(victim, "rb") as f:
            expect(f.read(), b"precious", "the link's target")
        expect(os.path.islink(PHOTO), False, "the photo is a link")


async def portrait_without_document_camera(s):
    expect((await s.call({"function": "SimCamera", "document": "0", "_tflag": "d0"}))["success"], 1, "SimCamera")
    window, tag, pending = await s.open_window()
    await s.take_picture(window)
    reply = await s.close_window(window, pending)
    expect(reply["success"], 1, "success")
    _, _, corner, _ = picture_info(base64.b64decode(reply["Base64"]))
    if not near(corner, (67, 142, 219)):
        raise AssertionError(f"not the portrait camera's blue backdrop: {corner}")


async def no_camera_at_all(s):
    expect((await s.call({"function": "SimCamera", "document": "0", "portrait": 0, "_tflag": "n"}))["success"], 1,
           "SimCamera")
    before = file_state(PHOTO)
    window, tag, pending = await s.open_window()
    if await asyncio.to_thread(s.desktop.preview_live, window):
        raise AssertionError("a picture is shown with no camera")
    for _ in range(3):
        await asyncio.to_thread(s.desktop.click, window, PHOTO_BUTTON)
    reply = await s.close_window(window, pending)
    expect((reply["success"], "Base64" in reply), (0, False), "no camera")
    expect(file_state(PHOTO), before, "nothing written")
    expect((await s.call({"function": "SimCamera", "document": "1", "portrait": "1", "_tflag": "r"}))["success"], 1,
           "SimCamera")


async def scripted_image(s):
    green = subprocess.run(["convert", "-size", "64x48", "xc:#20c040", "png:-"], capture_output=True,
                           check=True).stdout
    reply = await s.call({"function": "SimCamera", "image": base64.b64encode(green).decode(), "_tflag": "i"})
    expect((reply["success"], reply["msg"]), (1, ""), "SimCamera image")
    window, tag, pending = await s.open_window()
    await asyncio.to_thread(s.desktop.choose, window, RESOLUTION_CHOOSER, 1, s.periphd.pid)
    await s.take_picture(window, want_size=(800, 600))
    reply = await s.close_window(window, pending)
    _, _, corner, centre = picture_info(base64.b64decode(reply["Base64"]))
    if not (near(corner, (32, 192, 64), 12) and near(centre, (32, 192, 64), 12)):
        raise AssertionError(f"the scripted picture was not shown: {corner} {centre}")
    expect((await s.call({"function": "SimCamera", "image": "", "_tflag": "i0"}))["success"], 1, "image reset")

    # Bad scripts change nothing and say what is wrong.
    for request, word in [({"document": "2"}, "document"), ({"portrait": True}, "portrait"),
                          ({"image": "not base64 at all!"}, "image"),
                          ({"image": base64.b64encode(b"GIF89a not a png").decode()}, "image"),
                          ({"document": "0", "image": 7}, "image")]:
        reply = await s.call({"function": "SimCamera", "_tflag": "bad", **request})
        if reply["success"] != 0 or word not in reply["msg"]:
            raise AssertionError(f"{request}: {reply}")
    # {"document": "0", "image": 7} was refused as a whole: the document camera is still there.
    window, tag, pending = await s.open_window()
    await s.take_picture(window)
    reply = await s.close_window(window, pending)
    if not near(picture_info(base64.b64decode(reply["Base64"]))[2], (74, 66, 58)):
        raise AssertionError("a refused script changed the cameras")


async def page_leaves_while_open(s):
    other = await s.connect()
    window, tag, pending = await s.open_window(other)
    await other.close()
    pending.cancel()
    await s.take_picture(window)
    await asyncio.to_thread(s.desktop.click, window, CLOSE_BUTTON)
    await asyncio.to_thread(s.desktop.wait_gone, window)
    reply = await s.call({"function": "ZCSetPenWidth", "Width": "3", "_tflag": "alive"})
    expect((reply["_tflag"], reply["success"]), ("alive", 1), "periphd still serves")


async def main_async(binary):
    s = Session(binary)
    failures = 0
    try:
        s.ws = await s.connect()
        for check in (photo_at_640x480, photo_at_1920x1080, earlier_picture_not_returned, planted_link_replaced,
                      portrait_without_document_camera, no_camera_at_all, scripted_image, page_leaves_while_open):
            try:
                await check(s)
                print(f"PASS {check.__name__}")
            except Exception as error:  # report every check, then fail
                failures += 1
                print(f"FAIL {check.__name__}: {error!r}")
                # Leave no window behind, and go on from a fresh page: a reply
                # the failed check left pending on the old one cannot then be
                # taken for the next check's, however late it comes.
                for w in s.desktop.windows():
                    await asyncio.to_thread(s.desktop.click, w, CLOSE_BUTTON)
                    await asyncio.to_thread(s.desktop.wait_gone, w)
                await s.ws.close()
                s.ws = await s.connect()
    finally:
        s.stop()
        if failures:
            print(s.output()[-3000:])
    print(f"{8 - failures} passed, {failures} failed")
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(asyncio.run(main_async(sys.argv[1])))
