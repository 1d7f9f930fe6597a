#!/usr/bin/python3
"""Takes docs/camera-window.png: runs `periphd --simulate` on a private Xvfb,
opens the camera window with ZCCameraPic, switches to the portrait camera,
presses 拍照 and grabs the window from the X screen.

    /usr/bin/python3 tests/camera/camera_window_screenshot.py build/app/periphd docs/camera-window.png
"""
import asyncio
import json
import os
import socket
import subprocess
import sys
import time

import websockets

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
from xwindow import CAMERA_CHOOSER, CLOSE_BUTTON, Desktop, Xvfb  # noqa: E402


async def main(binary, output):
    with socket.socket() as s:
        s.bind(("127.0.0.1", 0))
        port = s.getsockname()[1]
    xvfb = Xvfb().start()
    desktop = Desktop(xvfb)
    periphd = subprocess.Popen([binary, "--simulate", "--port", str(port)], env=xvfb.env(),
                               stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    try:
        deadline = time.monotonic() + 20
        while True:
            try:
                ws = await websockets.connect(f"ws://127.0.0.1:{port}", max_size=None)
                break
            except OSError:
                if time.monotonic() > deadline:
                    raise
                await asyncio.sleep(0.05)
        await ws.send(json.dumps({"function": "ZCCameraPic", "_tflag": "shot"}))
        window = await asyncio.to_thread(desktop.wait_for_new_window)
        await asyncio.to_thread(desktop.take_picture, window)
        await asyncio.to_thread(desktop.choose, window, CAMERA_CHOOSER, 1, periphd.pid)
        await asyncio.to_thread(desktop.wait_for_preview, window)
        await asyncio.to_thread(desktop.screenshot, window, output)
        await asyncio.to_thread(desktop.click, window, CLOSE_BUTTON)
        reply = json.loads(await asyncio.wait_for(ws.recv(), 20))
        print("reply success", reply["success"], "->", output)
    finally:
        periphd.terminate()
        periphd.wait(10)
        xvfb.stop()


if __name__ == "__main__":
    asyncio.run(main(sys.argv[1], sys.argv[2]))
