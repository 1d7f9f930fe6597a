"""Chromium's Local Network Access against the installed periphd: a page
from a public origin cannot open ws://localhost, except from an origin that
the policy written by the installed periphd-chromium-policy names.

    local_network_access.py

Run inside throwaway-root.sh with the package installed: it writes
/etc/periphd/periphd.conf and Chromium's managed policy there. Chromium
takes both test pages (plain HTTP on 127.0.0.1) for public ones through
--ip-address-space-overrides; periphd itself admits every origin here, so a
connection that fails is the browser's doing.
"""
import asyncio
import functools
import http.server
import os
import socket
import subprocess
import sys
import tempfile
import threading
import time

HERE = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, os.path.join(HERE, "..", "demo"))
from chromium_cdp import Chromium, Session  # noqa: E402

DEADLINE_S = 30
PAGE = """<!doctype html><p id="r">pending</p><script>
const r = document.getElementById("r");
const ws = new WebSocket("ws://localhost:%d");
ws.onopen = () => { r.textContent = "open"; ws.send('{"function":"ZCSetPenWidth","Width":"3","_tflag":"lna"}'); };
ws.onmessage = (event) => { r.textContent = "reply " + event.data; };
ws.onerror = () => { r.textContent += " error"; };
ws.onclose = (event) => { r.textContent += " close " + event.code; };
</script>"""
REPLY = 'reply {"_tflag":"lna","functionName":"ZCSetPenWidth","msg":"","success":1}'


def free_port():
    with socket.socket() as probe:
        probe.bind(("127.0.0.1", 0))
        return probe.getsockname()[1]


class QuietHandler(http.server.SimpleHTTPRequestHandler):
    def log_message(self, *args):
        pass


def serve(folder, port):
    handler = functools.partial(QuietHandler, directory=folder)
    server = http.server.ThreadingHTTPServer(("127.0.0.1", port), handler)
    threading.Thread(target=server.serve_forever, daemon=True).start()
    return server


async def outcome(session, url):
    """What the page shows once its connection has succeeded or failed."""
    await session.call("Page.navigate", url=url)
    deadline = time.monotonic() + DEADLINE_S
    text = ""
    while time.monotonic() < deadline:
        try:
            text = await session.evaluate('document.getElementById("r") ? document.getElementById("r").textContent : ""')
        except Exception:  # the page is still loading
            text = ""
        if text.startswith("reply") or "close" in text:
            return text
        await asyncio.sleep(0.1)
    raise SystemExit(f"FAIL: {url}: no outcome within {DEADLINE_S} s (page shows {text!r})")


async def run(service_port, listed, unlisted, chromium):
    session = Session()
    await session.open(await chromium.page_target())
    try:
        return (await outcome(session, f"http://127.0.0.1:{listed}/index.html"),
                await outcome(session, f"http://127.0.0.1:{unlisted}/index.html"))
    finally:
        await session.close()


def main():
    service_port, listed, unlisted, debug_port = free_port(), free_port(), free_port(), free_port()
    with open("/etc/periphd/periphd.conf", "w") as conf:
        conf.write(f"[server]\nallowed-origins = https://counter.example.com, http://127.0.0.1:{listed}\n")
    subprocess.run(["periphd-chromium-policy"], check=True, stdout=subprocess.DEVNULL)

    failures = []
    with tempfile.TemporaryDirectory() as folder, tempfile.TemporaryFile() as log:
        with open(os.path.join(folder, "index.html"), "w") as page:
            page.write(PAGE % service_port)
        servers = [serve(folder, listed), serve(folder, unlisted)]
        env = dict(os.environ, QT_QPA_PLATFORM="offscreen")
        periphd = subprocess.Popen(["periphd", "--config", "/dev/null", "--port", str(service_port)], env=env,
                                   stdout=log, stderr=subprocess.STDOUT)
        overrides = f"127.0.0.1:{listed}=public,127.0.0.1:{unlisted}=public"
        chromium = Chromium(debug_port, [f"--ip-address-space-overrides={overrides}"])
        try:
            chromium.start()
            allowed, blocked = asyncio.run(asyncio.wait_for(run(service_port, listed, unlisted, chromium),
                                                            3 * DEADLINE_S))
        finally:
            chromium.stop()
            periphd.terminate()
            periphd.wait(DEADLINE_S)
            for server in servers:
                server.shutdown()
        log.seek(0)
        periphd_log = log.read().decode(errors="replace")
    if allowed != REPLY:
        failures.append(f"the page from the policy's origin shows {allowed!r}")
    if "open" in blocked or "close 1006" not in blocked:
        failures.append(f"the page from another public origin shows {blocked!r}")
    if "refused" in periphd_log:
        failures.append(f"periphd refused a connection, so the test proves nothing:\n{periphd_log}")
    for failure in failures:
        print("FAIL:", failure)
    if not failures:
        print("Chromium: the policy's origin reaches periphd; another public origin fails with 1006, unseen by periphd")
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
