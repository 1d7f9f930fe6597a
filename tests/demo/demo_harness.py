"""What every demo page test does around its scenarios: Chromium, the built
`periphd --simulate` and the demo's web server on free ports, a freshly loaded
page per scenario, a screenshot at the end, and everything stopped again."""
import argparse
import asyncio
import base64
import os
import socket
import subprocess
import sys
import tempfile
import urllib.request

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
from chromium_cdp import Chromium, Session  # noqa: E402
from demo_page import DemoPage  # noqa: E402


def free_port():
    with socket.socket() as probe:
        probe.bind(("127.0.0.1", 0))
        return probe.getsockname()[1]


async def wait_until(ready, what, process, timeout=30):
    deadline = asyncio.get_running_loop().time() + timeout
    while not ready():
        if process.poll() is not None:
            raise SystemExit(f"FAIL: {what}: the process exited with {process.returncode}")
        if asyncio.get_running_loop().time() > deadline:
            raise SystemExit(f"FAIL: {what}: not ready in {timeout} s")
        await asyncio.sleep(0.05)


def tcp_listening(port):
    try:
        with socket.create_connection(("127.0.0.1", port), timeout=1):
            return True
    except OSError:
        return False


def http_ok(url):
    try:
        with urllib.request.urlopen(url, timeout=2) as response:
            return response.status == 200
    except OSError:
        return False


def expect(got, want, what):
    if got != want:
        raise AssertionError(f"{what}: got {got!r}, want {want!r}")


def tail(file, lines=15):
    file.seek(0)
    return b"\n".join(file.read().splitlines()[-lines:]).decode(errors="replace")


async def load(session, url):
    loaded = session.expect_event("Page.loadEventFired")
    result = await session.call("Page.navigate", url=url)
    if result.get("errorText"):
        raise SystemExit(f"FAIL: cannot load {url}: {result['errorText']}")
    await asyncio.wait_for(loaded, 20)


async def screenshot(session, path, selector=None):
    """The whole page, or the element `selector`, as the last scenario left it."""
    if selector:
        clip = await session.evaluate(f"""(() => {{ const r = document.querySelector({selector!r}).getBoundingClientRect();
            return {{x: r.left + window.scrollX, y: r.top + window.scrollY, width: r.width, height: r.height}}; }})()""")
    else:
        size = (await session.call("Page.getLayoutMetrics"))["cssContentSize"]
        clip = {"x": 0, "y": 0, "width": size["width"], "height": size["height"]}
    shot = await session.call("Page.captureScreenshot", format="png", captureBeyondViewport=True,
                              clip={**clip, "scale": 1})
    data = base64.b64decode(shot["data"])
    if not data.startswith(b"\x89PNG\r\n\x1a\n"):
        raise AssertionError("the screenshot is not a PNG")
    with open(path, "wb") as out:
        out.write(data)


class DemoRun:
    """Chromium first (without a browser nothing else is worth starting), then
    periphd and the page's web server; `close` stops them all."""

    def __init__(self, binary, repo):
        self.binary, self.repo = binary, repo
        self.service_port, self.http_port = free_port(), free_port()
        self.service_url = f"ws://127.0.0.1:{self.service_port}"
        self.page_url = f"http://127.0.0.1:{self.http_port}/index.html"
        self.chromium = Chromium(free_port())
        self.session = Session()
        self.page = DemoPage(self.session)
        self.periphd = self.http = None
        self.periphd_log = tempfile.TemporaryFile()
        self.chromium.start()

    async def start_service(self, env, cwd=None):
        self.periphd = subprocess.Popen([self.binary, "--port", str(self.service_port), "--simulate"], env=env,
                                        cwd=cwd, stdout=self.periphd_log, stderr=subprocess.STDOUT)
        self.http = subprocess.Popen(["bash", os.path.join(self.repo, "scripts", "serve-demo.sh"),
                                      str(self.http_port)], stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        await wait_until(lambda: tcp_listening(self.service_port), "periphd", self.periphd)
        await wait_until(lambda: http_ok(self.page_url), "the demo page server", self.http)
        await self.session.open(await self.chromium.page_target())
        await self.session.call("Runtime.enable")
        await self.session.call("Page.enable")

    async def scenarios(self, scenarios, *args, connect=False, each_timeout=90, after_failure=None):
        """Runs each scenario on a freshly loaded page; returns the failures."""
        failures = []
        for scenario in scenarios:
            await load(self.session, self.page_url)
            if connect:
                await self.page.connect(self.service_url)
            try:
                await asyncio.wait_for(scenario(self.page, *args), each_timeout)
                print(f"ok   {scenario.__name__}")
            except (AssertionError, asyncio.TimeoutError) as error:
                failures.append(f"{scenario.__name__}: {error or type(error).__name__}")
                print(f"FAIL {scenario.__name__}: {error or type(error).__name__}")
                if after_failure:
                    await after_failure()
        if self.session.exceptions:
            failures.append(f"uncaught exceptions in the page: {self.session.exceptions}")
        if failures:
            state = "running" if self.periphd.poll() is None else f"exited with {self.periphd.returncode}"
            print(f"periphd {state}; its last lines:\n{tail(self.periphd_log)}")
        return failures

    async def close(self):
        await self.session.close()
        self.chromium.stop()
        for process in (self.http, self.periphd):
            if process is not None:
                process.terminate()
                process.wait(10)


def run_main(doc, main_async, title, extra_args=()):
    """The command line every demo test shares: PERIPHD_BINARY REPO_DIR SCREENSHOT_PNG [extra]."""
    parser = argparse.ArgumentParser(description=doc.splitlines()[0])
    parser.add_argument("periphd")
    parser.add_argument("repo")
    parser.add_argument("screenshot")
    for flag, help_text in extra_args:
        parser.add_argument(flag, default="", help=help_text)
    args = parser.parse_args()
    failures = asyncio.run(main_async(args))
    print(f"{title}:", "ok" if not failures else f"{len(failures)} failure(s)")
    for failure in failures:
        print("FAIL", failure)
    return 1 if failures else 0
