"""Debian's headless Chromium, driven over the Chrome DevTools Protocol."""
import asyncio
import json
import os
import shutil
import signal
import subprocess
import tempfile
import urllib.request

import websockets

# DEMO_CHROMIUM only lets a test prove what happens without the browser.
CHROMIUM = os.environ.get("DEMO_CHROMIUM", "/usr/bin/chromium")


class PageError(Exception):
    """A script evaluated in the page threw."""


class Chromium:
    """One headless browser with its own throw-away profile."""

    def __init__(self, debug_port, extra_args=()):
        self.debug_port = debug_port
        self.extra_args = list(extra_args)
        self.process = None
        self.profile = None
        self.tmp = None
        self.log = None

    def start(self):
        if not os.access(CHROMIUM, os.X_OK):
            raise SystemExit(f"FAIL: {CHROMIUM} is missing; install Debian's chromium package "
                             "(scripts/install-deps.sh). The demo page cannot be tested without it.")
        self.profile = tempfile.mkdtemp(prefix="periphd-demo-profile-")
        # Its own TMPDIR: Chromium leaves a singleton folder there.
        self.tmp = tempfile.mkdtemp(prefix="periphd-chromium-tmp-")
        self.log = tempfile.TemporaryFile()
        args = [CHROMIUM, "--headless", "--no-sandbox", "--disable-gpu", "--disable-quic", "--no-first-run",
                "--disable-background-networking", "--disable-component-update", "--disable-sync",
                f"--user-data-dir={self.profile}", f"--remote-debugging-port={self.debug_port}",
                "--window-size=1280,1500", *self.extra_args, "about:blank"]
        # Its own session, so that the browser and its helper processes go together.
        self.process = subprocess.Popen(args, stdout=self.log, stderr=subprocess.STDOUT, start_new_session=True,
                                        env=dict(os.environ, TMPDIR=self.tmp))

    def output_tail(self, lines=20):
        if self.log is None:
            return ""
        self.log.seek(0)
        return b"\n".join(self.log.read().splitlines()[-lines:]).decode(errors="replace")

    async def page_target(self, timeout=30):
        """The DevTools WebSocket URL of the first page, once the browser answers."""
        deadline = asyncio.get_running_loop().time() + timeout
        url = f"http://127.0.0.1:{self.debug_port}/json/list"
        while True:
            if self.process.poll() is not None:
                raise SystemExit(f"FAIL: chromium exited with {self.process.returncode}:\n{self.output_tail()}")
            try:
                with urllib.request.urlopen(url, timeout=2) as response:
                    targets = json.load(response)
                for target in targets:
                    if target.get("type") == "page" and "webSocketDebuggerUrl" in target:
                        return target["webSocketDebuggerUrl"]
            except OSError:
                pass
            if asyncio.get_running_loop().time() > deadline:
                raise SystemExit(f"FAIL: chromium's DevTools port never answered:\n{self.output_tail()}")
            await asyncio.sleep(0.1)

    def stop(self):
        if self.process is not None and self.process.poll() is None:
            try:
                os.killpg(self.process.pid, signal.SIGTERM)
                self.process.wait(10)
            except subprocess.TimeoutExpired:
                os.killpg(self.process.pid, signal.SIGKILL)
                self.process.wait(10)
            except ProcessLookupError:
                pass
        for folder in (self.profile, self.tmp):
            if folder:
                shutil.rmtree(folder, ignore_errors=True)


class Session:
    """Commands and events of one DevTools target."""

    def __init__(self):
        self.socket = None
        self.reader = None
        self.next_id = 0
        self.calls = {}
        self.event_waiters = []
        self.exceptions = []  # uncaught exceptions the page reported

    async def open(self, url):
        self.socket = await websockets.connect(url, max_size=None)
        self.reader = asyncio.create_task(self._read())

    async def close(self):
        if self.socket is not None:
            await self.socket.close()
        if self.reader is not None:
            await asyncio.gather(self.reader, return_exceptions=True)

    async def _read(self):
        try:
            async for text in self.socket:
                message = json.loads(text)
                if "id" in message:
                    future = self.calls.pop(message["id"], None)
                    if future is None or future.done():
                        continue
                    if "error" in message:
                        future.set_exception(RuntimeError(f"DevTools error: {message['error']}"))
                    else:
                        future.set_result(message.get("result", {}))
                    continue
                if message.get("method") == "Runtime.exceptionThrown":
                    details = message["params"]["exceptionDetails"]
                    self.exceptions.append(details.get("exception", {}).get("description") or details.get("text"))
                for method, future in list(self.event_waiters):
                    if method == message.get("method") and not future.done():
                        future.set_result(message.get("params", {}))
        finally:
            for future in self.calls.values():
                if not future.done():
                    future.set_exception(ConnectionError("DevTools connection closed"))

    async def call(self, method, timeout=30, **params):
        self.next_id += 1
        future = asyncio.get_running_loop().create_future()
        self.calls[self.next_id] = future
        await self.socket.send(json.dumps({"id": self.next_id, "method": method, "params": params}))
        return await asyncio.wait_for(future, timeout)

    def expect_event(self, method):
        """A future for the next event named `method`; take it before causing the event."""
        future = asyncio.get_running_loop().create_future()
        self.event_waiters.append((method, future))
        future.add_done_callback(lambda done: self.event_waiters.remove((method, done)))
        return future

    async def evaluate(self, expression, await_promise=False, timeout=30):
        result = await self.call("Runtime.evaluate", timeout=timeout, expression=expression,
                                 returnByValue=True, awaitPromise=await_promise)
        if "exceptionDetails" in result:
            details = result["exceptionDetails"]
            raise PageError(details.get("exception", {}).get("description") or details.get("text"))
        return result["result"].get("value")
