"""The generated udev rules, run by udevadm itself against umockdev's sysfs:
every node periphd opens on a device of the table is tagged uaccess; the
device's other nodes, and the same nodes of a device with other ids, are
not.

    udev_rules_under_udevadm.py TABLE RULES

udevadm reads its rules only from the system's folders, so the test runs in
a mount namespace of its own where those folders hold nothing but the rules
under test (and /run is private, for udevadm's database). That needs root;
without it the test is skipped (exit 77).
"""
import os
import re
import shutil
import subprocess
import sys
import tempfile

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
from device_table import read_table  # noqa: E402

SKIP = 77
RULE_FOLDERS = ("/etc/udev/rules.d", "/usr/lib/udev/rules.d", "/lib/udev/rules.d", "/usr/local/lib/udev/rules.d")


def sysfs_tree(devices):
    """umockdev's description of a USB bus holding `devices`
    [(vendor, product)], and [(sysfs path, vendor, product, kind)] of every
    node on it; kind is usb, usb_interface, hidraw or video4linux."""
    blocks, nodes = [], []
    for number, (vendor, product) in enumerate(devices, 1):
        device = f"/devices/pci0000:00/0000:00:14.0/usb1/1-{number}"
        interface = f"{device}/1-{number}:1.0"
        hid = f"{interface}/0003:{vendor.upper()}:{product.upper()}.{number:04d}"
        hidraw = f"{hid}/hidraw/hidraw{number}"
        video = f"{interface}/video4linux/video{number}"
        # Children first: umockdev adds a device's parents after it.
        blocks += [
            f"P: {hidraw}\nN: hidraw{number}\nE: DEVNAME=/dev/hidraw{number}\nE: SUBSYSTEM=hidraw\n",
            f"P: {hid}\nE: SUBSYSTEM=hid\nE: HID_ID=0003:0000{vendor.upper()}:0000{product.upper()}\n",
            f"P: {video}\nN: video{number}\nE: DEVNAME=/dev/video{number}\nE: SUBSYSTEM=video4linux\n",
            f"P: {interface}\nE: DEVTYPE=usb_interface\nE: SUBSYSTEM=usb\nA: bInterfaceNumber=00\n",
            f"P: {device}\nN: bus/usb/001/{number + 1:03d}\nE: DEVNAME=/dev/bus/usb/001/{number + 1:03d}\n"
            f"E: DEVTYPE=usb_device\nE: SUBSYSTEM=usb\nA: idVendor={vendor}\nA: idProduct={product}\n"
            f"A: busnum=1\nA: devnum={number + 1}\n",
        ]
        nodes += [(device, vendor, product, "usb"), (interface, vendor, product, "usb_interface"),
                  (hidraw, vendor, product, "hidraw"), (video, vendor, product, "video4linux")]
    return "\n".join(blocks), nodes


def tags(description, paths):
    """{path: [tag]} as udevadm test reports for each sysfs path, all in one testbed."""
    script = 'for path; do echo "@@@ $path"; udevadm test "/sys$path" 2>&1 || echo "@@@ failed $?"; done'
    run = subprocess.run(["umockdev-run", "--device", description, "--", "sh", "-c", script, "sh", *paths],
                         capture_output=True, text=True, timeout=300)
    reports = dict(re.findall(r"^@@@ (\S+)\n(.*?)(?=^@@@ /|\Z)", run.stdout, re.MULTILINE | re.DOTALL))
    result = {}
    for path in paths:
        report = reports.get(path, "")
        # The event's properties end the report; TAGS is left out when empty.
        if "@@@ failed" in report or f"DEVPATH={path}\n" not in report:
            raise SystemExit(f"udevadm test {path} failed:\n{report or run.stdout}\n{run.stderr}")
        found = re.search(r"^TAGS=(.*)$", report, re.MULTILINE)
        result[path] = [tag for tag in found.group(1).split(":") if tag] if found else []
    return result


def inside(table_path, rules_path):
    # Rules from nowhere but /run/udev/rules.d, which holds only ours.
    subprocess.run(["mount", "-t", "tmpfs", "tmpfs", "/run"], check=True)
    for folder in RULE_FOLDERS:
        if os.path.isdir(folder) and not os.path.islink(folder):
            subprocess.run(["mount", "-t", "tmpfs", "tmpfs", folder], check=True)
    os.makedirs("/run/udev/rules.d")
    shutil.copy(rules_path, "/run/udev/rules.d/70-periphd.rules")

    table = read_table(table_path)
    driven = [(vendor, product) for _, vendor, product, _, _ in table]
    # The same devices with the next product id: not ours.
    strangers = [(vendor, "%04x" % ((int(product, 16) + 1) & 0xFFFF)) for vendor, product in driven]
    opened = {(vendor, product): nodes for _, vendor, product, nodes, _ in table}

    failures, checked = [], 0
    with tempfile.TemporaryDirectory() as work:
        description = os.path.join(work, "bus.umockdev")
        text, nodes = sysfs_tree(driven + strangers)
        with open(description, "w") as out:
            out.write(text)
        found = tags(description, [path for path, _, _, _ in nodes])
        for path, vendor, product, kind in nodes:
            want = kind in opened.get((vendor, product), [])
            got = "uaccess" in found[path]
            checked += 1
            if got != want:
                failures.append(f"{vendor}:{product} {kind} node {path}: uaccess {got}, expected {want}")
    for failure in failures:
        print("FAIL:", failure)
    if not failures:
        print(f"udevadm test: {checked} nodes of {len(driven)} devices and {len(strangers)} others tagged as expected")
    return 1 if failures else 0


def main(table_path, rules_path):
    missing = [tool for tool in ("udevadm", "umockdev-run", "unshare") if not shutil.which(tool)]
    if missing:
        print("skipped: not installed:", ", ".join(missing))
        return SKIP
    if os.geteuid() != 0 or subprocess.run(["unshare", "--mount", "true"], capture_output=True).returncode != 0:
        print("skipped: a private mount namespace needs root")
        return SKIP
    return subprocess.run(["unshare", "--mount", "--propagation", "private", sys.executable, __file__,
                           "--inside", table_path, rules_path]).returncode


if __name__ == "__main__":
    if sys.argv[1] == "--inside":
        sys.exit(inside(*sys.argv[2:]))
    sys.exit(main(*sys.argv[1:]))
