#!/usr/bin/python3
"""A client not built on Qt (python3-websockets) against the built periphd."""
import asyncio
import json
import os
import socket
import subprocess
import sys

import websockets

BINARY = sys.argv[1]


def free_port():
    with socket.socket() as probe:
        probe.bind(("127.0.0.1", 0))
        return probe.getsockname()[1]


async def wait_listening(port, process):
    for _ in range(300):
        if process.poll() is not None:
            raise SystemExit("periphd exited early")
        try:
            reader, writer = await asyncio.open_connection("127.0.0.1", port)
            writer.close()
            return
        except OSError:
            await asyncio.sleep(0.05)
    raise SystemExit("periphd never listened")


async def expect_no_reply(ws):
    await ws.send("sentinel")
    assert await ws.recv() == "sentinel"


async def run(port):
    failures = []

    def check(name, got, want):
        if got != want:
            failures.append(f"{name}: got {got!r}, want {want!r}")

    url = f"ws://127.0.0.1:{port}"
    async with websockets.connect(url, max_size=None) as ws, websockets.connect(url) as other:
        await ws.send('{"function":"ZCSetPenWidth","Width":"8","_tflag":"7"}')
        check("envelope", await ws.recv(), '{"_tflag":"7","functionName":"ZCSetPenWidth","msg":"","success":1}')
        await ws.send("{'function':'ZCSetTransparency','Percent':80,'_tflag':'p'}")
        check("single quotes and number", json.loads(await ws.recv()),
              {"_tflag": "p", "functionName": "ZCSetTransparency", "msg": "", "success": 1})
        await ws.send('{"function":"zcsetpenwidth"}')
        check("wrong case", await ws.recv(), '{"function":"zcsetpenwidth"}')
        await ws.send("hello")
        check("not json", await ws.recv(), "hello")
        payload = bytes(range(256)) * 3
        await ws.send(payload)
        check("binary", await ws.recv(), payload)
        await ws.send('{"function":"ZCReadHIDOpen","_tflag":"h"}')
        await expect_no_reply(ws)
        await other.send('{"function":"ZCSetModeAB","mode":"1","_tflag":"other"}')
        check("other client", json.loads(await other.recv())["_tflag"], "other")
        await expect_no_reply(ws)  # nothing of the other client's reached us

    # The server may close as soon as the frame header announces too much, so the
    # close can surface in send() as well as in recv(): either way it must be 1009.
    async with websockets.connect(url, max_size=None) as big:
        try:
            await big.send("x" * (1024 * 1024 + 1))
            await asyncio.wait_for(big.recv(), 10)
            failures.append("oversize: got a reply")
        except websockets.ConnectionClosed as closed:
            code = closed.rcvd.code if closed.rcvd else None
            check("oversize close code", code, 1009)

    return failures


def main():
    port = free_port()
    env = dict(os.environ, QT_QPA_PLATFORM="offscreen")
    process = subprocess.Popen([BINARY, "--port", str(port)], env=env,
                               stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    try:
        asyncio.run(wait_listening(port, process))
        failures = asyncio.run(asyncio.wait_for(run(port), 60))
    finally:
        process.terminate()
        process.wait(10)
    for failure in failures:
        print("FAIL", failure)
    print("python client:", "ok" if not failures else f"{len(failures)} failures")
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
