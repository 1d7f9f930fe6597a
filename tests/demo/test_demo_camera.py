#!/usr/bin/python3
"""The demo page's camera section in headless Chromium against the built
`periphd --simulate`, whose camera window opens on a private Xvfb and is
operated there with xdotool, as the operator beside the customer would.

Usage: test_demo_camera.py PERIPHD_BINARY REPO_DIR SCREENSHOT_PNG
"""
import asyncio
import json
import os
import subprocess
import sys
import tempfile

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "camera"))
from demo_harness import DemoRun, expect, run_main, screenshot  # noqa: E402
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


async def photo_shown(page, operator):
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


async def closed_without_picture(page, operator):
    tag, window = await open_camera(page, operator)
    await operator.close(window)
    entry = await page.settled(tag)
    expect(entry["state"], "failed", "reply state")
    expect("Base64" in json.loads(entry["reply"]), False, "Base64 in the reply")
    caption = await page.text("#camera-photo-caption")
    if "without a picture" not in caption:
        raise AssertionError(f"caption: {caption!r}")


async def simulated_cameras_scripted(page, operator):
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


async def main_async(args):
    xvfb = Xvfb().start()
    operator = Operator(Desktop(xvfb))
    run = None

    async def close_windows():
        for window in operator.desktop.windows():
            await operator.close(window)

    try:
        run = DemoRun(args.periphd, args.repo)
        await run.start_service(xvfb.env())
        failures = await run.scenarios(SCENARIOS, operator, connect=True, after_failure=close_windows)
        await screenshot(run.session, args.screenshot)
        return failures
    finally:
        if run:
            await run.close()
        xvfb.stop()


if __name__ == "__main__":
    sys.exit(run_main(__doc__, main_async, "demo page, camera"))
