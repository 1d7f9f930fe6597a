#!/usr/bin/python3
"""The demo page's camera section in headless Chromium against the built
`periphd --simulate`, whose camera window opens on a private Xvfb and is
operated there with xdotool, as the operator beside the customer would.

Usage: test_demo_camera.py PERIPHD_BINARY REPO_DIR SCREENSHOT_PNG
"""
import argparse
import asyncio
import base64
import json
import os
import subprocess
import sys
import tempfile

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "camera"))
from chromium_cdp import Chromium, Session  # noqa: E402
from demo_page import DemoPage  # noqa: E402
from test_demo_page import free_port, http_ok, load, screenshot, tcp_listening, wait_until  # noqa: E402
from xwindow import CLOSE_BUTTON, Desktop, Xvfb  # noqa: E402

# The colour of the pixel at (x, y) of the camera photo the page shows, read through a canvas.
PHOTO_PIXEL = """(() => {
  const img = document.querySelector('#camera-photo-image');
  const canvas = document.createElement('canvas');
  canvas.width = img.naturalWidth; canvas.height = img.naturalHeight;
  const context = canvas.getContext('2d');
  context.drawImage(img, 0, 0);
  return [...context.getImageData(%d, %d, 1, 1).data.slice(0, 3)];
})()"""


def near(colour, want, tolerance=30):
    return all(abs(a - b) <= tolerance for a, b in zip(colour, want))


def expect(got, want, what):
    if got != want:
        raise AssertionError(f"{what}: got {got!r}, want {want!r}")


class Operator:
    """The person at the camera window."""

    def __init__(self, desktop):
        self.desktop = desktop

    async def window(self, known):
        return await asyncio.to_thread(self.desktop.wait_for_new_window, known)

    async def take_and_close(self, window):
        await asyncio.to_thread(self.desktop.take_picture, window)
        await self.close(window)

    async def close(self, window):
        await asyncio.to_thread(self.desktop.click, window, CLOSE_BUTTON)
        await asyncio.to_thread(self.desktop.wait_gone, window)


async def open_camera(page, operator):
    known = operator.desktop.windows()
    tag = await page.click("ZCCameraPic")
    return tag, await operator.window(known)


async def photo_shown(page, operator, ctx):
    tag, window = await open_camera(page, operator)
    entry = await page.entry(tag)
    expect(entry["state"], "pending", "while the window is open")
    await operator.take_and_close(window)
    entry = await page.settled(tag)
    expect(entry["state"], "ok", "reply state")
    reply = json.loads(entry["reply"])
    expect((reply["functionName"], reply["success"]), ("ZCCameraPic", 1), "reply")
    await page.wait(f"document.querySelector('#camera-photo-image').dataset.tag === {json.dumps(tag)} && "
                    "document.querySelector('#camera-photo-image').naturalWidth === 640", "the photo")
    caption = await page.text("#camera-photo-caption")
    if "640 × 480" not in caption:
        raise AssertionError(f"caption: {caption!r}")
    # The document camera's desk, in the page's own decoding of the JPEG.
    corner = await page.session.evaluate(PHOTO_PIXEL % (5, 5))
    if not near(corner, (74, 66, 58)):
        raise AssertionError(f"the photo shown is not the document camera's: {corner}")
    # The camera photo is not taken for a signature.
    expect(await page.session.evaluate("document.querySelector('#signature-image').hasAttribute('src')"), False,
           "signature image set")


async def closed_without_picture(page, operator, ctx):
    tag, window = await open_camera(page, operator)
    await operator.close(window)
    entry = await page.settled(tag)
    expect(entry["state"], "failed", "reply state")
    expect("Base64" in json.loads(entry["reply"]), False, "Base64 in the reply")
    caption = await page.text("#camera-photo-caption")
    if "without a picture" not in caption:
        raise AssertionError(f"caption: {caption!r}")


async def simulated_cameras_scripted(page, operator, ctx):
    # A picture chosen with the form's file input, as a developer would pick one.
    with tempfile.TemporaryDirectory() as folder:
        picture = os.path.join(folder, "blue.png")
        subprocess.run(["convert", "-size", "40x30", "xc:#2050d0", picture], check=True)
        document = await page.session.call("DOM.getDocument")
        node = await page.session.call("DOM.querySelector", nodeId=document["root"]["nodeId"],
                                       selector="#sim-camera-file")
        await page.session.call("DOM.setFileInputFiles", nodeId=node["nodeId"], files=[picture])
        await page.wait("document.querySelector('form[data-command=\"SimCamera\"] input[name=\"image\"]')"
                        ".dataset.name === 'blue.png'", "the chosen picture read")
    await page.session.evaluate("document.querySelector('form[data-command=\"SimCamera\"] select[name=\"document\"]')"
                                ".value = '0'")
    tag = await page._click_and_take_tag('form[data-command="SimCamera"] > button')
    entry = await page.settled(tag)
    expect(entry["state"], "ok", f"SimCamera: {entry['reply']}")
    sent = json.loads(entry["sent"])
    expect((sent["document"], sent["portrait"], len(sent["image"]) > 100), ("0", "1", True), "SimCamera request")

    tag, window = await open_camera(page, operator)
    await operator.take_and_close(window)
    await page.settled(tag)
    await page.wait(f"document.querySelector('#camera-photo-image').dataset.tag === {json.dumps(tag)} && "
                    "document.querySelector('#camera-photo-image').naturalWidth === 640", "the photo")
    centre = await page.session.evaluate(PHOTO_PIXEL % (320, 240))
    if not near(centre, (0x20, 0x50, 0xd0), 12):
        raise AssertionError(f"the scripted picture was not shown: {centre}")

    # Back to the cameras' own pictures, both present.
    await page.session.evaluate("document.querySelector('#sim-camera-own').click();"
                                "document.querySelector('form[data-command=\"SimCamera\"] select[name=\"document\"]')"
                                ".value = '1'")
    tag = await page._click_and_take_tag('form[data-command="SimCamera"] > button')
    expect((await page.settled(tag))["state"], "ok", "SimCamera reset")
    expect(json.loads((await page.entry(tag))["sent"])["image"], "", "image after 'own pictures'")


SCENARIOS = [photo_shown, closed_without_picture, simulated_cameras_scripted]


async def main_async(binary, repo, screenshot_path):
    service_port, http_port, debug_port = free_port(), free_port(), free_port()
    xvfb = Xvfb().start()
    operator = Operator(Desktop(xvfb))
    periphd_log = tempfile.TemporaryFile()
    chromium = Chromium(debug_port)
    session = Session()
    page_url = f"http://127.0.0.1:{http_port}/index.html"
    periphd = http = None
    failures = []
    try:
        chromium.start()
        periphd = subprocess.Popen([binary, "--port", str(service_port), "--simulate"], env=xvfb.env(),
                                   stdout=periphd_log, stderr=subprocess.STDOUT)
        http = subprocess.Popen(["bash", os.path.join(repo, "scripts", "serve-demo.sh"), str(http_port)],
                                stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        await wait_until(lambda: tcp_listening(service_port), "periphd", periphd)
        await wait_until(lambda: http_ok(page_url), "the demo page server", http)
        await session.open(await chromium.page_target())
        await session.call("Runtime.enable")
        await session.call("Page.enable")
        page = DemoPage(session)
        ctx = None
        for scenario in SCENARIOS:
            await load(session, page_url)
            await page.connect(f"ws://127.0.0.1:{service_port}")
            try:
                await asyncio.wait_for(scenario(page, operator, ctx), 90)
                print(f"ok   {scenario.__name__}")
            except (AssertionError, asyncio.TimeoutError) as error:
                failures.append(f"{scenario.__name__}: {error!r}")
                print(f"FAIL {scenario.__name__}: {error!r}")
                for window in operator.desktop.windows():
                    await operator.close(window)
        await screenshot(session, screenshot_path)
        if session.exceptions:
            failures.append(f"uncaught exceptions in the page: {session.exceptions}")
        if failures:
            periphd_log.seek(0)
            print(periphd_log.read().decode(errors="replace")[-2000:])
    finally:
        await session.close()
        chromium.stop()
        for process in (http, periphd):
            if process is not None:
                process.terminate()
                process.wait(10)
        xvfb.stop()
    return failures


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("periphd")
    parser.add_argument("repo")
    parser.add_argument("screenshot")
    args = parser.parse_args()
    failures = asyncio.run(main_async(args.periphd, args.repo, args.screenshot))
    print(f"{len(SCENARIOS) - len(failures)} passed, {len(failures)} failed")
    sys.exit(1 if failures else 0)


if __name__ == "__main__":
    main()
