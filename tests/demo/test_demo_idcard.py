#!/usr/bin/python3
"""The demo page's identity card section in headless Chromium, against the built periphd.

Usage: test_demo_idcard.py PERIPHD_BINARY REPO_DIR SCREENSHOT_PNG

Starts `periphd --simulate` in a private working directory (where the card
files go) and the demo's web server on free ports, loads the page and checks
what the identity card section shows after each click: the holder's fields and
the portrait of a read, the reader's failures, the SAM id, and the simulated
readers scripted from the page. Ends with a screenshot of the section.
"""
import json
import os
import shutil
import sys
import tempfile

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
from demo_harness import DemoRun, expect, free_port, run_main, screenshot  # noqa: E402

FIELD_KEYS = ["CardType", "name", "englishName", "gender", "nation", "birthday", "address", "idNum", "issueOrg",
              "effectDate", "expireDate", "nationCode", "passNum", "signCount", "CertVersion", "figData", "dn"]

# What the section shows, read from the DOM.
SECTION_SCRIPT = """(() => {
  const text = (selector) => document.querySelector(selector).textContent;
  const fields = {};
  for (const value of document.querySelectorAll('#idcard-fields dd')) fields[value.dataset.key] = value.textContent;
  const img = document.querySelector('#idcard-photo');
  return {status: text('#idcard-status'), statusState: document.querySelector('#idcard-status').dataset.state || '',
          resultShown: !document.querySelector('#idcard-result').hidden, fields,
          photo: {src: img.getAttribute('src'), width: img.naturalWidth, height: img.naturalHeight,
                  tag: img.dataset.tag || '', caption: text('#idcard-photo-caption')},
          sim: text('#sim-idcard-state'), simState: document.querySelector('#sim-idcard-state').dataset.state || ''};
})()"""

# The portrait as the page drew it: its size and how many pixels are far from white.
PORTRAIT_PIXELS = """(() => {
  const img = document.querySelector('#idcard-photo');
  const canvas = document.createElement('canvas');
  canvas.width = img.naturalWidth;
  canvas.height = img.naturalHeight;
  const context = canvas.getContext('2d');
  context.drawImage(img, 0, 0);
  const pixels = context.getImageData(0, 0, canvas.width, canvas.height).data;
  let inked = 0;
  for (let i = 0; i < pixels.length; i += 4)
    if (pixels[i] + pixels[i + 1] + pixels[i + 2] < 600) inked += 1;
  return {width: canvas.width, height: canvas.height, inked};
})()"""


class Context:
    def __init__(self, periphd_url, workdir):
        self.periphd_url = periphd_url
        self.workdir = workdir


async def section(page):
    return await page.session.evaluate(SECTION_SCRIPT)


async def set_fields(page, form, fields):
    """Sets inputs and selects of a form by name."""
    for name, value in fields.items():
        await page.session.evaluate(f"document.querySelector({json.dumps(form)}).elements[{json.dumps(name)}].value "
                                    f"= {json.dumps(value)}")


async def sim(page, **fields):
    """SimIDCard from the page's form; the reader's keys not given are left empty (not sent)."""
    await set_fields(page, "#sim-idcard", {"module": "", "present": "", "attached": "", "samId": "", **fields})
    entry = await page.settled(await page.click("SimIDCard"))
    return entry, json.loads(entry["reply"])


async def act(page, value):
    return await page._click_and_take_tag(f'form[data-act="{value}"] button')


def expect_card_shown(shown, reply, what):
    data = reply["data"]
    expect(shown["resultShown"], True, f"{what}: result shown")
    for key in FIELD_KEYS:
        want = data[key]
        if key == "figData" and want:
            want = f"{len(want) // 2} bytes, {want[:16]}…"
        expect(shown["fields"].get(key), want, f"{what}: field {key}")
    expect(shown["photo"]["src"], "data:image/bmp;base64," + data["photo"], f"{what}: portrait source")
    expect((shown["photo"]["width"], shown["photo"]["height"]), (102, 126), f"{what}: portrait size")
    expect(shown["photo"]["caption"], "102 × 126 px BMP", f"{what}: portrait caption")


# --- scenarios: each starts on a freshly loaded page ---------------------------------------------

async def sam_read(page, ctx):
    """A SAM read: the fields and portrait the reply carries, and the faces periphd wrote."""
    await page.connect(ctx.periphd_url)
    tag = await page.click("ZCReadIDCard")
    entry = await page.settled(tag)
    expect((entry["state"], entry["note"]), ("ok", "err_code 0: 读卡成功"), "card reply outcome")
    reply = json.loads(entry["reply"])
    expect(reply["data"]["name"], "李晓明", "the sample card's holder")
    await page.wait(f"document.querySelector('#idcard-photo').dataset.tag === {json.dumps(tag)} && "
                    "document.querySelector('#idcard-photo').naturalWidth > 0", "the portrait")
    shown = await section(page)
    expect_card_shown(shown, reply, "SAM read")
    expect((shown["status"], shown["statusState"]),
           (f"ZCReadIDCard ({tag}): 读卡成功; periphd drew the faces into frontNew.jpg and backNew.jpg", "ok"),
           "outcome line")
    drawn = await page.session.evaluate(PORTRAIT_PIXELS)
    if not 1000 < drawn["inked"] < drawn["width"] * drawn["height"]:
        raise AssertionError(f"the portrait drawn on the page does not look like a face: {drawn}")
    for name in ("frontNew.jpg", "backNew.jpg"):
        path = os.path.join(ctx.workdir, name)
        with open(path, "rb") as face:
            expect(face.read(3), b"\xff\xd8\xff", f"{name} is a JPEG")
    expect(os.path.exists(os.path.join(ctx.workdir, "simage_file.bmp")), False, "portrait file removed")


async def hid_read_of_a_scripted_holder(page, ctx):
    """A residence permit made from the form's holder fields, read through the HID reader."""
    await page.connect(ctx.periphd_url)
    await page.session.evaluate("document.querySelector('[data-holder=\"J\"]').click()")
    entry, reply = await sim(page, reader="hid")
    sent = json.loads(entry["sent"])
    expect((sent["reader"], sent["CardType"], sent["name"]), ("hid", "J", "林家豪"), "holder sent")
    expect("module" in sent or "samId" in sent or "nation" in sent, False, "empty fields are not sent")
    expect(reply["success"], 1, "SimIDCard accepted")
    expect((await section(page))["sim"], "attached 1 · present 1 · reader hid", "reader state shown")

    tag = await page.click("ZCReadHIDIDCard")
    reply = json.loads((await page.settled(tag))["reply"])
    expect((reply["data"]["CardType"], reply["data"]["passNum"], reply["data"]["signCount"]), ("J", "T87654321", "02"),
           "the permit's own fields")
    await page.wait(f"document.querySelector('#idcard-photo').dataset.tag === {json.dumps(tag)} && "
                    "document.querySelector('#idcard-photo').naturalWidth > 0", "the portrait")
    shown = await section(page)
    expect_card_shown(shown, reply, "HID read")
    expect(shown["status"], f"ZCReadHIDIDCard ({tag}): 读卡成功", "no faces after a HID read")

    # Back to the sample card for the scenarios after this one.
    await page.session.evaluate("document.querySelector('[data-holder=\"resident\"]').click()")
    await sim(page, reader="hid")


async def failures_then_the_card_again(page, ctx):
    """No card, no reader: the code and message shown; then the card again."""
    await page.connect(ctx.periphd_url)
    _, reply = await sim(page, reader="sam", present="0")
    expect(json.loads(reply["data"])["present"], "0", "card taken off")
    tag = await page.click("ZCReadIDCard")
    entry = await page.settled(tag)
    expect((entry["state"], entry["note"]), ("failed", "success 431004: 读卡失败"), "read without a card")
    shown = await section(page)
    expect((shown["status"], shown["statusState"], shown["resultShown"]),
           (f"ZCReadIDCard ({tag}): 431004 读卡失败", "failed", False), "failure shown")

    await sim(page, reader="sam", attached="0")
    tag = await page.click("ZCReadIDCard")
    await page.settled(tag)
    expect((await section(page))["status"], f"ZCReadIDCard ({tag}): 431003 读卡失败", "read without a reader")
    tag = await act(page, "test")
    await page.settled(tag)
    expect((await section(page))["status"],
           f"act:test ({tag}): -1 libusb_open_device_with_vid_pid(0x0400, 0xC35A) failed", "SAM id without a reader")

    await sim(page, reader="sam", attached="1", present="1")
    tag = await page.click("ZCReadIDCard")
    expect((await page.settled(tag))["state"], "ok", "the read once the card is back")
    expect((await section(page))["fields"]["name"], "李晓明", "the card's holder shown again")


async def sam_id_and_act_selectors(page, ctx):
    """The SAM id, scripted from the page, and the two "act" selectors."""
    await page.connect(ctx.periphd_url)
    entry, reply = await sim(page, reader="sam", samId="not hex")
    expect((entry["state"], reply["msg"]), ("failed", "samId must be 32 hexadecimal digits"), "refused SAM id")
    expect(((await section(page))["sim"], (await section(page))["simState"]),
           ("samId must be 32 hexadecimal digits", "failed"), "refusal shown")
    _, reply = await sim(page, reader="sam", samId="0123456789ABCDEF0123456789ABCDEF", module="0501")
    expect(json.loads(reply["data"]), {"attached": "1", "module": "0501", "present": "1", "reader": "sam",
                                       "samId": "0123456789ABCDEF0123456789ABCDEF"}, "reader state")

    tag = await page.click("ZCGetSAMNum")
    entry = await page.settled(tag)
    expect(json.loads(entry["reply"]).get("data"), None, "a 0501 gives no SAM id to the 0503 frame")
    await sim(page, reader="sam", module="0503")
    tag = await act(page, "test")
    entry = await page.settled(tag)
    expect(json.loads(entry["sent"]), {"act": "test", "_tflag": tag}, "act request")
    expect(json.loads(entry["reply"])["functionName"], "", "act reply's function name")
    expect((await section(page))["status"], f"act:test ({tag}): SAM id 0123456789ABCDEF0123456789ABCDEF",
           "SAM id shown")

    tag = await act(page, "readIntegratedCard")
    entry = await page.settled(tag)
    reply = json.loads(entry["reply"])
    expect((reply["functionName"], reply["err_msg"]), ("", "读卡成功"), "card read through act")
    await page.wait(f"document.querySelector('#idcard-photo').dataset.tag === {json.dumps(tag)} && "
                    "document.querySelector('#idcard-photo').naturalWidth > 0", "the portrait")
    expect_card_shown(await section(page), reply, "act read")


SCENARIOS = [sam_read, hid_read_of_a_scripted_holder, failures_then_the_card_again, sam_id_and_act_selectors]


async def main_async(args):
    workdir = tempfile.mkdtemp(prefix="periphd-demo-idcard-")
    run = None
    try:
        run = DemoRun(os.path.abspath(args.periphd), os.path.abspath(args.repo))
        # No pcscd is wanted here: the simulated SIM card goes to a port where nobody listens.
        await run.start_service(dict(os.environ, QT_QPA_PLATFORM="offscreen", PERIPHD_VPCD_PORT=str(free_port()),
                                     PCSCLITE_CSOCK_NAME=os.path.join(workdir, "no-pcscd")), cwd=workdir)
        failures = await run.scenarios(SCENARIOS, Context(run.service_url, workdir))
        await screenshot(run.session, args.screenshot, "#idcard")
        return failures
    finally:
        if run:
            await run.close()
        shutil.rmtree(workdir, ignore_errors=True)


if __name__ == "__main__":
    sys.exit(run_main(__doc__, main_async, "demo page, identity cards"))
