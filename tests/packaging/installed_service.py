"""The installed periphd, started as its systemd user unit starts it, as an
ordinary user: it answers a WebSocket client and reads the simulated SIM
card through the installed libCardBridge, in a private pcscd.

    installed_service.py UNIT_FILE LIBCARDBRIDGE

Run inside throwaway-root.sh after the package is installed; needs root (to
become the user nobody).
"""
import asyncio
import json
import os
import shlex
import signal
import socket
import subprocess
import sys
import tempfile
import time

import websockets

HERE = os.path.dirname(os.path.abspath(__file__))
SCRIPTS = os.path.join(HERE, "..", "..", "scripts")
NOBODY = 65534
ICCID = "89860123456789012345"  # the simulated card's default
DEADLINE_S = 20


def exec_start(unit_file):
    with open(unit_file) as unit:
        for line in unit:
            if line.startswith("ExecStart="):
                return shlex.split(line[len("ExecStart="):])
    raise SystemExit(f"{unit_file}: no ExecStart")


def free_port(pair=False):
    """A free TCP port; with pair, one whose successor is free too (a vpcd
    reader listens on both)."""
    for _ in range(200):
        with socket.socket() as probe:
            probe.bind(("", 0))
            port = probe.getsockname()[1]
        if not pair:
            return port
        try:
            with socket.socket() as a, socket.socket() as b:
                a.bind(("", port))
                b.bind(("", port + 1))
            return port
        except OSError:
            continue
    raise SystemExit("no free port")


async def until(check, what):
    deadline = time.monotonic() + DEADLINE_S
    while True:
        result = await check()
        if result:
            return result
        if time.monotonic() > deadline:
            raise SystemExit(f"FAIL: {what} within {DEADLINE_S} s")
        await asyncio.sleep(0.1)


async def talk(port, process):
    async def listening():
        if process.poll() is not None:
            raise SystemExit(f"FAIL: periphd exited with {process.returncode}")
        try:
            _, writer = await asyncio.open_connection("127.0.0.1", port)
            writer.close()
            return True
        except OSError:
            return False

    await until(listening, "periphd listens")
    async with websockets.connect(f"ws://127.0.0.1:{port}") as ws:
        await ws.send('{"function":"ZCSetPenWidth","Width":"8","_tflag":"7"}')
        reply = await ws.recv()
        if reply != '{"_tflag":"7","functionName":"ZCSetPenWidth","msg":"","success":1}':
            raise SystemExit(f"FAIL: ZCSetPenWidth answered {reply}")

        # The card goes into the vpcd reader once periphd has connected to it.
        async def card_read():
            await ws.send('{"function":"ZCSIMCard","_tflag":"s"}')
            answer = json.loads(await ws.recv())
            return answer if answer["success"] == 1 else None

        answer = await until(card_read, "the SIM card is read")
        if answer["data"] != ICCID or answer["msg"] != "获取SIM卡ICCID成功":
            raise SystemExit(f"FAIL: ZCSIMCard answered {answer}")


def main(unit_file, library):
    command = exec_start(unit_file)
    if command[0] != "/usr/bin/periphd" or "--user-folder" not in command:
        raise SystemExit(f"FAIL: the unit starts {command}")
    port, vpcd_port = free_port(), free_port(pair=True)
    with tempfile.TemporaryDirectory() as work:
        os.chmod(work, 0o755)
        home = os.path.join(work, "home")
        os.mkdir(home)
        os.chown(home, NOBODY, NOBODY)
        rundir = os.path.join(work, "pcscd")
        subprocess.run(["bash", os.path.join(SCRIPTS, "pcscd-start.sh"), rundir, str(vpcd_port)], check=True,
                       stdout=subprocess.DEVNULL)
        env = {"PATH": "/usr/bin:/bin", "HOME": home, "QT_QPA_PLATFORM": "offscreen",
               "PCSCLITE_CSOCK_NAME": os.path.join(rundir, "pcscd.comm"), "PERIPHD_VPCD_PORT": str(vpcd_port)}
        as_nobody = ["setpriv", f"--reuid={NOBODY}", f"--regid={NOBODY}", "--clear-groups", "--"]
        process = subprocess.Popen(as_nobody + command + ["--simulate", "--port", str(port)], env=env, cwd="/",
                                   stdout=subprocess.PIPE, stderr=subprocess.STDOUT)
        try:
            asyncio.run(talk(port, process))
            with open(f"/proc/{process.pid}/maps") as maps:
                if library not in maps.read():
                    raise SystemExit(f"FAIL: periphd has not loaded {library}")
            folder = os.path.join(home, ".local/state/periphd")
            info = os.stat(folder)
            if (info.st_uid, info.st_mode & 0o777) != (NOBODY, 0o700):
                raise SystemExit(f"FAIL: {folder} is owned by {info.st_uid} with mode {oct(info.st_mode & 0o777)}")
            with open(os.path.join(folder, "log.txt"), encoding="utf-8") as log:
                text = log.read()
            if "Warning: ZCSIMCard" not in text:
                raise SystemExit("FAIL: the command is not in log.txt")
            # The card faces' data is found in the installed tree.
            if "card face font aliases" in text:
                raise SystemExit(f"FAIL: periphd did not load its installed font aliases:\n{text}")
            process.send_signal(signal.SIGTERM)
            process.wait(timeout=DEADLINE_S)
        finally:
            if process.poll() is None:
                process.kill()
                process.wait()
            output = process.stdout.read().decode(errors="replace")
            subprocess.run(["bash", os.path.join(SCRIPTS, "pcscd-stop.sh"), rundir], stdout=subprocess.DEVNULL)
            if sys.exc_info()[0] is not None:
                print("periphd's output:\n" + output, file=sys.stderr)
    print(f"periphd as started by its unit, as nobody: answered, read SIM card {ICCID} through {library}, "
          f"logged to ~/.local/state/periphd/log.txt")
    return 0


if __name__ == "__main__":
    sys.exit(main(*sys.argv[1:]))
