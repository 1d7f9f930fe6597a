#!/usr/bin/python3
"""Takes docs/signing-window.png: runs `periphd --simulate` under Xvfb, opens
a signing window, writes a signature with scripted pen strokes and grabs the
window from the X screen.

    xvfb-run -s "-screen 0 1280x800x24" /usr/bin/python3 \
        tests/signpad/signing_window_screenshot.py build-sign/app/periphd docs/signing-window.png
"""
import asyncio
import json
import math
import os
import socket
import subprocess
import sys

import websockets

WIN = dict(x=200, y=150, width=520, height=340)


def free_port():
    with socket.socket() as s:
        s.bind(("127.0.0.1", 0))
        return s.getsockname()[1]


def signature():
    """A few cursive strokes in window pixels, with varying pressure."""
    strokes = []
    # A looping first stroke.
    pts = []
    for i in range(120):
        t = i / 119
        x = 70 + 170 * t + 22 * math.sin(t * math.pi * 6)
        y = 150 - 45 * math.sin(t * math.pi * 2) + 18 * math.cos(t * math.pi * 6)
        pts.append((x, y, 500 + int(500 * math.sin(t * math.pi))))
    strokes.append(pts)
    # A wave with a tail.
    pts = []
    for i in range(100):
        t = i / 99
        x = 250 + 190 * t
        y = 140 + 35 * math.sin(t * math.pi * 3) - 25 * t
        pts.append((x, y, 400 + int(600 * math.sin(t * math.pi))))
    strokes.append(pts)
    # An underline.
    strokes.append([(90 + 3.3 * i, 215 + 6 * math.sin(i / 30), 300 + 5 * i) for i in range(110)])
    points = []
    for pts in strokes:
        x, y, _ = pts[0]
        points.append([int(x), int(y), 0])
        points += [[int(x), int(y), p] for x, y, p in pts]
        x, y, _ = pts[-1]
        points.append([int(x), int(y), 0])
    return points


def screen_pixel(x, y):
    """The colour of one pixel of the X screen, or None."""
    out = subprocess.run(["import", "-window", "root", "-crop", f"1x1+{x}+{y}", "+repage", "-depth", "8", "rgb:-"],
                         capture_output=True, timeout=30)
    return tuple(out.stdout[:3]) if out.returncode == 0 and len(out.stdout) >= 3 else None


async def wait_for_ink(x, y, timeout=20):
    """Waits until the X screen shows ink at (x, y)."""
    loop = asyncio.get_running_loop()
    deadline = loop.time() + timeout
    while True:
        colour = screen_pixel(x, y)
        if colour is not None and sum(colour) < 3 * 96:
            return
        if loop.time() > deadline:
            raise SystemExit(f"no ink at {x},{y} on the screen: {colour}")
        await asyncio.sleep(0.05)


async def main(binary, output):
    port = free_port()
    env = dict(os.environ)
    proc = subprocess.Popen([binary, "--simulate", "--port", str(port)], env=env,
                            stderr=subprocess.DEVNULL, stdout=subprocess.DEVNULL)
    try:
        for _ in range(100):
            try:
                ws = await websockets.connect(f"ws://127.0.0.1:{port}")
                break
            except OSError:
                await asyncio.sleep(0.1)
        try:
            async def call(request):
                await ws.send(json.dumps(request))
                return json.loads(await ws.recv())
            await call({"function": "ZCSetSignScreenPosSizeAB", "x": 0, "y": 0, "width": 1280, "height": 800})
            await call({"function": "ZCSetTransparency", "Percent": 100})
            await call({"function": "ZCSetPenWidth", "Width": 6})
            assert (await call({"function": "ZCStartDeviceAB"}))["success"] == 1
            await ws.send(json.dumps(dict(function="ZCBeginSignAB", **WIN)))
            points = signature()
            reply = await call({"function": "SimPenStroke", "unit": "window", "points": points})
            assert reply["success"] == 1, reply
            # The strokes reach the window through the sampling thread at the
            # pad's pace, in order: once the last pressed point shows on the
            # screen, the whole signature does.
            last_x, last_y, _ = [p for p in points if p[2] > 0][-1]
            await wait_for_ink(WIN["x"] + last_x, WIN["y"] + last_y)
            subprocess.run(["import", "-window", "root", "-crop",
                            f"{WIN['width']}x{WIN['height']}+{WIN['x']}+{WIN['y']}", "+repage", output],
                           check=True)
            await call({"function": "ZCEndSignAB"})
        finally:
            await ws.close()
    finally:
        proc.terminate()
        proc.wait(5)


if __name__ == "__main__":
    asyncio.run(main(sys.argv[1], sys.argv[2]))
