#!/usr/bin/python3
"""The demo page in headless Chromium, clicked through against the built periphd.

Usage: test_demo_page.py PERIPHD_BINARY REPO_DIR SCREENSHOT_PNG [--wait-for-card TOOL]

Starts `periphd --simulate` and the demo's own web server (scripts/serve-demo.sh)
on free ports, loads the page in Chromium and checks what the page shows after
each click. A scripted WebSocket peer stands in for a service that misbehaves
(text that is not JSON, unknown tags, replies out of order, a dropped
connection), which periphd itself never does. With --wait-for-card, and pcscd
and vpcd installed, periphd's simulated SIM card sits in the vpcd reader of a
private pcscd for the SIM buttons.
"""
import asyncio
import base64
import json
import os
import shutil
import socket
import subprocess
import sys
import tempfile

import websockets

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
from demo_harness import DemoRun, expect, free_port, run_main, screenshot  # noqa: E402


def envelope(tag, function, success=1, msg=""):
    return json.dumps({"_tflag": tag, "functionName": function, "msg": msg, "success": success},
                      ensure_ascii=False, separators=(",", ":"))


SIM_ICCID = "89860318520100428613"
VPCD_READER = "Virtual PCD 00 00"
VPCD_DRIVER = "/usr/lib/pcsc/drivers/serial/libifdvpcd.so"


class Context:
    def __init__(self, periphd_url, sim_reader):
        self.periphd_url = periphd_url
        self.sim_reader = sim_reader  # None without pcscd and vpcd
        self.signing = False  # whether this periphd build has the signing commands
        self.notes = []


# --- scenarios: each starts on a freshly loaded page ---------------------------------------------

async def settings_envelope(page, ctx):
    """The exact request a form sends and the exact envelope the page shows for it."""
    await page.connect(ctx.periphd_url)
    tag = await page.click("ZCSetPenWidth", Width="8")
    entry = await page.settled(tag)
    expect(entry["sent"], json.dumps({"function": "ZCSetPenWidth", "Width": "8", "_tflag": tag}, separators=(",", ":")),
           "request text")
    expect(entry["reply"], envelope(tag, "ZCSetPenWidth"), "reply text")
    expect((entry["state"], entry["note"]), ("ok", "success"), "outcome")


async def replies_matched_by_tag(page, ctx):
    """Requests sent back to back each get their own reply, under their own tag."""
    await page.connect(ctx.periphd_url)
    sent = [("ZCSetTransparency", {"Percent": "80"}), ("ZCSetModeAB", {"mode": "2"}),
            ("ZCSetSignScreenPosSizeAB", {"x": "0", "y": "0", "width": "1920", "height": "1080"}),
            ("ZCSetPenWidth", {"Width": "3"}),
            ("ZCSetModeAB", {"mode": "it's"})]  # an apostrophe must not break the request
    tags = [await page.click(command, **fields) for command, fields in sent]
    expect(len(set(tags)), len(tags), f"distinct tags among {tags}")
    for (command, _), tag in zip(sent, tags):
        entry = await page.settled(tag)
        expect(json.loads(entry["reply"]), json.loads(envelope(tag, command)), f"reply to {command}")
        expect(entry["state"], "ok", f"{command} outcome")
    expect(await page.entries("unmatched"), [], "replies without a request")


async def unknown_command_and_plain_text(page, ctx):
    """What the service echoes, and a command that is never answered."""
    await page.connect(ctx.periphd_url)
    tag = await page.send_raw('{"function":"zcsetpenwidth","Width":"8"}')
    entry = await page.settled(tag)
    expect(entry["sent"], json.dumps({"function": "zcsetpenwidth", "Width": "8", "_tflag": tag}, separators=(",", ":")),
           "tag added to a typed request")
    expect((entry["reply"], entry["state"]), (entry["sent"], "echo"), "echo of an unknown command")
    expect(entry["note"], "echoed back unchanged: not a known command", "echo note")

    untagged = await page.send_raw("hello")
    expect(untagged, "", "plain text carries no tag")
    await page.wait("document.querySelectorAll('#log > li[data-kind=\"notjson\"]').length === 1", "the echoed text")
    expect(await page.entries("notjson"), [{"title": "reply is not JSON", "note": "", "tag": "", "reply": "hello"}],
           "plain text echo")

    silent = await page.send_raw('{"function":"ZCReadHIDOpen"}')
    expect((await page.settled(silent))["note"], "sent; this command gets no reply", "ZCReadHIDOpen")
    after = await page.click("ZCSetPenWidth", Width="5")
    expect((await page.settled(after))["reply"], envelope(after, "ZCSetPenWidth"), "the reply after ZCReadHIDOpen")
    expect(await page.entries("unmatched"), [], "replies without a request")


async def misbehaving_peer(page, ctx):
    """Garbage, strangers' tags, replies out of order and a dropped connection: shown, then carried on."""
    received = []
    all_sent = asyncio.Event()

    async def peer(ws, path=None):
        async for text in ws:
            received.append(json.loads(text))
            if len(received) == 3:
                break
        all_sent.set()
        first, second, _unanswered = received
        await ws.send("this is not JSON {")
        await ws.send("[1,2,3]")
        await ws.send(b"\x00\x01\x02")
        await ws.send(envelope("no-such-request", "ZCSetPenWidth", 0, '<b id=injected>markup</b>'))
        await ws.send('{"functionName":"ZCSetPenWidth","success":1}')
        await ws.send(json.dumps({"Base64": base64.b64encode(b"not an image").decode(), "_tflag": second["_tflag"],
                                  "functionName": "ZCOutputImageBase64AB", "msg": "", "success": 1}))
        await ws.send(envelope(first["_tflag"], first["function"], 0, "refused"))
        await ws.close(4001, "peer going away")

    port = free_port()
    # Nobody listens yet: the page says so and stays usable.
    await page.session.evaluate(f"document.querySelector('#url').value = 'ws://127.0.0.1:{port}';"
                                "document.querySelector('#connect').click()")
    await page.wait("document.querySelector('#log > li[data-kind=\"closed\"]')", "the refused connection")
    expect([(e["title"], e["note"]) for e in await page.entries("closed")],
           [("connection closed (code 1006)", "")], "refused connection")
    expect([e["title"] for e in await page.entries("error")], [f"connection error on ws://127.0.0.1:{port}"],
           "refused connection error")
    await page.session.evaluate("document.querySelector('#clear-log').click()")

    async with websockets.serve(peer, "127.0.0.1", port):
        await page.connect(f"ws://127.0.0.1:{port}")
        first = await page.click("ZCSetPenWidth", Width="4")
        second = await page.click("ZCSetModeAB", mode="1")
        unanswered = await page.click("ZCDeviceExist")
        await asyncio.wait_for(all_sent.wait(), 20)
        await page.wait("document.querySelector('#status').dataset.state === 'closed'", "the closed connection")

    expect([r["_tflag"] for r in received], [first, second, unanswered], "tags the peer received")
    expect([(e["title"], e["reply"]) for e in await page.entries("notjson")],
           [("reply is not JSON", "this is not JSON {"), ("reply is not a JSON object", "[1,2,3]")], "non-JSON replies")
    expect([(e["title"], e["tag"]) for e in await page.entries("unmatched")],
           [('reply with unknown tag "no-such-request"', "no-such-request"), ("reply without a tag", "")],
           "replies with an unknown tag or none")
    expect(await page.session.evaluate("document.querySelector('#log b, #injected') === null"), True,
           "markup in a reply stays text")
    expect([e["reply"] for e in await page.entries("binary")], ["3 bytes"], "binary message")
    entry = await page.entry(first)
    expect((entry["state"], entry["note"], entry["reply"]),
           ("failed", "success 0: refused", envelope(first, "ZCSetPenWidth", 0, "refused")), "late reply to the first")
    expect((await page.entry(second))["state"], "ok", "early reply to the second")
    await page.wait("document.querySelector('#signature-caption').textContent.startsWith('The Base64')",
                    "the failed image")
    expect(await page.text("#signature-caption"), f"The Base64 of {second} is not an image the browser can show",
           "a Base64 member that is not an image")
    entry = await page.entry(unanswered)
    expect((entry["state"], entry["note"], entry["reply"]), ("failed", "no reply: the connection closed", None),
           "the request left unanswered")
    expect([(e["title"], e["note"]) for e in await page.entries("closed")],
           [("connection closed (code 4001, peer going away)", "1 request(s) left unanswered")], "closed connection")

    offline = await page.click("ZCSetPenWidth", Width="6")
    entry = await page.entry(offline)
    expect((entry["state"], entry["note"]), ("error", "not connected: nothing was sent"), "a click while disconnected")

    await page.connect(ctx.periphd_url)
    again = await page.click("ZCSetPenWidth", Width="6")
    expect((await page.settled(again))["reply"], envelope(again, "ZCSetPenWidth"), "the reply after reconnecting")


INK_SCRIPT = """(() => {
  const img = document.querySelector('#signature-image');
  const canvas = document.createElement('canvas');
  canvas.width = img.naturalWidth;
  canvas.height = img.naturalHeight;
  const context = canvas.getContext('2d');
  context.drawImage(img, 0, 0);
  const pixels = context.getImageData(0, 0, canvas.width, canvas.height).data;
  let dark = 0;
  for (let i = 0; i < pixels.length; i += 4)
    if (pixels[i + 3] > 0 && pixels[i] + pixels[i + 1] + pixels[i + 2] < 300) dark += 1;
  return {width: img.naturalWidth, height: img.naturalHeight, dark};
})()"""


async def start_pad(page):
    exist = await page.settled(await page.click("ZCDeviceExist"))
    expect(json.loads(exist["reply"]), json.loads(envelope(exist["tag"], "ZCDeviceExist")), "simulated pad present")
    start = await page.settled(await page.click("ZCStartDeviceAB"))
    expect(json.loads(start["reply"]), json.loads(envelope(start["tag"], "ZCStartDeviceAB")), "pad started")


async def begin_signature(page):
    tag = await page.click("ZCBeginSignAB", x="0", y="0", width="800", height="480")
    await page.wait("document.querySelector('#log > li[data-function=\"ZCBeginSignAB\"]').dataset.state === 'pending'",
                    "the signature waiting for the signer")
    busy = await page.settled(await page.click("ZCSetPenWidth", Width="9"))
    expect((json.loads(busy["reply"])["msg"], busy["note"]), ("签名进行中", "success 0: 签名进行中"),
           "settings refused while signing")
    return tag


async def signature_ended_from_page(page, ctx):
    """ZCEndSignAB closes the window; its ZCBeginSignAB is shown as ended, not as waiting forever."""
    await page.connect(ctx.periphd_url)
    await start_pad(page)
    none_yet = await page.settled(await page.click("ZCOutputImageBase64AB"))
    expect(json.loads(none_yet["reply"]), json.loads(envelope(none_yet["tag"], "ZCOutputImageBase64AB", 0, "未签名")),
           "no signature yet")
    begin = await begin_signature(page)
    end = await page.settled(await page.click("ZCEndSignAB"))
    expect(end["state"], "ok", "ZCEndSignAB")
    entry = await page.entry(begin)
    expect((entry["state"], entry["note"], entry["reply"]),
           ("done", f"ended by ZCEndSignAB ({end['tag']}): no reply is sent", None), "signature ended from the page")
    after = await page.settled(await page.click("ZCOutputImageBase64AB"))
    expect(json.loads(after["reply"])["msg"], "未签名", "nothing stored after an ended signature")
    stop = await page.settled(await page.click("ZCStopDeviceAB"))
    expect(stop["state"], "ok", "ZCStopDeviceAB")


async def pen(page, preset):
    await page.session.evaluate(f"document.querySelector('[data-preset={json.dumps(preset)}]').click()")
    entry = await page.settled(await page.click("SimPenStroke"))
    reply = json.loads(entry["reply"])
    expect((reply["functionName"], reply["success"]), ("SimPenStroke", 1), f"pen strokes ({preset})")
    expect(reply["data"], str(len(json.loads(entry["sent"])["points"])), f"pen reports taken ({preset})")


async def signature_signed(page, ctx):
    """A whole signature with the simulated pen, ending in the image shown on the page."""
    await page.connect(ctx.periphd_url)
    await page.click("ZCSetPenWidth", Width="4")
    await start_pad(page)

    # Strokes wiped by the window's ReSign button leave an image without ink. (The pen presses
    # it: pen reports reach the window in order, whereas a ZCResignAB could overtake strokes
    # still on their way from the pad.)
    begin = await begin_signature(page)
    resign = await page.settled(await page.click("ZCResignAB"))
    expect(resign["state"], "ok", "ZCResignAB")
    await pen(page, "signature")
    await pen(page, "ReSign")
    await pen(page, "OK")
    expect((await page.settled(begin, "the wiped signature's reply"))["state"], "ok", "wiped signature accepted")
    await page.wait(f"document.querySelector('#signature-caption').textContent.includes('({begin})')",
                    "the wiped signature's image")
    wiped = await page.session.evaluate(INK_SCRIPT)
    expect(wiped["dark"], 0, "ink left after ReSign")

    begin = await begin_signature(page)
    await pen(page, "signature")
    await pen(page, "OK")

    entry = await page.settled(begin, "the signature's reply")
    reply = json.loads(entry["reply"])
    expect((reply["_tflag"], reply["functionName"], reply["success"], reply["msg"], entry["state"]),
           (begin, "ZCOutputImageBase64AB", 1, "", "ok"), "reply to ZCBeginSignAB")
    png = base64.b64decode(reply["Base64"])
    expect(png[:8], b"\x89PNG\r\n\x1a\n", "the Base64 member holds a PNG")
    await page.wait(f"document.querySelector('#signature-caption').textContent.includes('({begin})')",
                    "the signature image")
    expect(await page.session.evaluate("document.querySelector('#signature-image').src"),
           "data:image/png;base64," + reply["Base64"], "image source")
    ink = await page.session.evaluate(INK_SCRIPT)
    expect(await page.text("#signature-caption"),
           f"Signature from ZCOutputImageBase64AB ({begin}): {ink['width']} × {ink['height']} px PNG", "caption")
    expect(ink["width"], 800, "the image spans the window's width")
    if not 500 < ink["dark"] < ink["width"] * ink["height"] // 10:
        raise AssertionError(f"the image shown does not look like pen strokes: {ink}")

    again = await page.settled(await page.click("ZCOutputImageBase64AB"))
    expect(json.loads(again["reply"]).get("Base64"), reply["Base64"], "the stored signature fetched again")
    await page.settled(await page.click("ZCStopDeviceAB"))


async def sim_card(page, ctx):
    """ZCSIMCard: the ICCID of the simulated card, or why there is none, next to the button."""
    await page.connect(ctx.periphd_url)
    if ctx.sim_reader is None:
        entry = await page.settled(await page.click("ZCSIMCard"), timeout=30)
        expect(entry["reply"], envelope(entry["tag"], "ZCSIMCard", 0, "打开设备端口失败"), "SIM reply without pcscd")
        expect(await page.text("#iccid"), "打开设备端口失败", "SIM failure shown")
        ctx.notes.append("no pcscd with vpcd here: only the SIM failure path was checked")
        return

    scripted = await page.settled(await page.click("SimSimCard", iccid=SIM_ICCID))
    expect(json.loads(scripted["reply"]).get("data"), SIM_ICCID, "simulated card scripted")
    await ctx.sim_reader.wait_for_card(True)
    entry = await page.settled(await page.click("ZCSIMCard"), timeout=30)
    expect(entry["reply"], json.dumps({"_tflag": entry["tag"], "data": SIM_ICCID, "functionName": "ZCSIMCard",
                                       "msg": "获取SIM卡ICCID成功", "success": 1},
                                      ensure_ascii=False, separators=(",", ":")), "SIM reply")
    expect(await page.text("#iccid"), f"ICCID {SIM_ICCID}", "ICCID shown")

    await page.session.evaluate("document.querySelector('form[data-command=\"SimSimCard\"] select').value = 'false'")
    removed = await page.settled(await page.click("SimSimCard"))
    expect(json.loads(removed["sent"])["inserted"], False, "the card's state sent as a JSON boolean")
    await ctx.sim_reader.wait_for_card(False)
    entry = await page.settled(await page.click("ZCSIMCard"), timeout=30)
    reply = json.loads(entry["reply"])
    expect((reply["_tflag"], reply["success"]), (entry["tag"], 0), "SIM reply with the card removed")
    expect(await page.text("#iccid"), reply["msg"], "SIM failure shown")
    if reply["msg"] not in ("打开设备端口失败", "设备上电失败"):
        raise AssertionError(f"unexpected failure without a card: {reply['msg']!r}")


SCENARIOS = [settings_envelope, replies_matched_by_tag, unknown_command_and_plain_text, misbehaving_peer,
             sim_card, signature_ended_from_page, signature_signed]


def free_port_pair():
    """A port p with p + 1 free as well: one vpcd entry listens on both."""
    for _ in range(50):
        port = free_port()
        with socket.socket() as probe:
            try:
                probe.bind(("127.0.0.1", port + 1))
                return port
            except OSError:
                continue
    raise SystemExit("FAIL: no free pair of ports for vpcd")


class SimReader:
    """A private pcscd with a vpcd reader, into which periphd plugs its simulated SIM card."""

    def __init__(self, repo, wait_tool):
        self.repo = repo
        self.wait_tool = wait_tool
        self.rundir = tempfile.mkdtemp(prefix="periphd-demo-pcscd-")
        self.socket = os.path.join(self.rundir, "pcscd.comm")
        self.port = None

    @staticmethod
    def available(wait_tool):
        return bool(wait_tool) and shutil.which("pcscd") is not None and os.path.exists(VPCD_DRIVER)

    def start(self):
        port = free_port_pair()
        started = subprocess.run(["bash", os.path.join(self.repo, "scripts", "pcscd-start.sh"), self.rundir, str(port)],
                                 stdout=subprocess.PIPE, stderr=subprocess.STDOUT, timeout=60)
        if started.returncode != 0:
            raise SystemExit(f"FAIL: pcscd did not start:\n{started.stdout.decode(errors='replace')}")
        self.port = port

    async def wait_for_card(self, present):
        waiter = await asyncio.create_subprocess_exec(
            self.wait_tool, VPCD_READER, "present" if present else "absent",
            env=dict(os.environ, PCSCLITE_CSOCK_NAME=self.socket), stderr=asyncio.subprocess.PIPE)
        _, errors = await waiter.communicate()
        if waiter.returncode != 0:
            raise AssertionError(f"pcscd never saw the card {'inserted' if present else 'removed'}: "
                                 f"{errors.decode(errors='replace').strip()}")

    def stop(self):
        if self.port is not None:
            subprocess.run(["bash", os.path.join(self.repo, "scripts", "pcscd-stop.sh"), self.rundir],
                           stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL, timeout=30)
        shutil.rmtree(self.rundir, ignore_errors=True)


async def main_async(args):
    sim = SimReader(args.repo, args.wait_for_card)
    run = None
    try:
        run = DemoRun(args.periphd, args.repo)
        with_reader = SimReader.available(args.wait_for_card)
        if with_reader:
            sim.start()
        # periphd's simulated card goes to the private reader (or to a port where nobody listens),
        # never to the system's vpcd; without a reader pcsclite finds no pcscd at the socket.
        await run.start_service(dict(os.environ, QT_QPA_PLATFORM="offscreen", PCSCLITE_CSOCK_NAME=sim.socket,
                                     PERIPHD_VPCD_PORT=str(sim.port or free_port())))
        ctx = Context(run.service_url, sim if with_reader else None)
        failures = await run.scenarios(SCENARIOS, ctx)
        await screenshot(run.session, args.screenshot)
        for note in ctx.notes:
            print("note", note)
        return failures
    finally:
        if run:
            await run.close()
        sim.stop()


if __name__ == "__main__":
    sys.exit(run_main(__doc__, main_async, "demo page", [("--wait-for-card", "the wait_for_card tool")]))
