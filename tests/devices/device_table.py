"""The device table, the ids the code is built with and the udev rules built
from the table: one list of devices, read three ways.

    device_table.py TABLE DUMP_PROGRAM RULES
"""
import re
import subprocess
import sys

NODE_KINDS = ("usb", "hidraw", "video4linux")

# The devices the service drives and the nodes it opens on each: the pad
# through libusb and hidraw, the card readers through libusb, the cameras as
# video4linux devices.
DRIVEN = {
    ("05af", "0060"): ["usb", "hidraw"],
    ("0400", "c35a"): ["usb"],
    ("072f", "90d5"): ["usb"],
    ("0c45", "6366"): ["video4linux"],
    ("1bcf", "8001"): ["video4linux"],
    ("1b17", "6685"): ["video4linux"],
    ("1b17", "6684"): ["video4linux"],
}


def read_table(path):
    """[(constant, vendor, product, [nodes], role)] in table order."""
    devices = []
    with open(path, encoding="utf-8") as table:
        for line in table:
            line = line.strip()
            if not line or line.startswith("#"):
                continue
            name, vendor, product, nodes, role = line.split(None, 4)
            devices.append((name, vendor, product, nodes.split(","), role))
    return devices


def read_rules(path):
    """{(subsystem, vendor, product)} of the rules that tag a node uaccess."""
    rules = set()
    usb = re.compile(r'SUBSYSTEM=="usb", ENV\{DEVTYPE\}=="usb_device", ATTR\{idVendor\}=="(\w{4})", '
                     r'ATTR\{idProduct\}=="(\w{4})", TAG\+="uaccess"')
    child = re.compile(r'SUBSYSTEM=="(hidraw|video4linux)", ATTRS\{idVendor\}=="(\w{4})", '
                       r'ATTRS\{idProduct\}=="(\w{4})", TAG\+="uaccess"')
    with open(path, encoding="utf-8") as text:
        for number, line in enumerate(text, 1):
            line = line.strip()
            if not line or line.startswith("#"):
                continue
            if match := usb.fullmatch(line):
                rules.add(("usb",) + match.groups())
            elif match := child.fullmatch(line):
                rules.add(match.groups())
            else:
                raise SystemExit(f"{path}:{number}: a rule of an unexpected form: {line}")
    return rules


def main(table_path, dump_program, rules_path):
    table = read_table(table_path)
    failures = []
    listed = {(vendor, product): nodes for _, vendor, product, nodes, _ in table}
    if listed != DRIVEN:
        failures.append(f"the table lists {listed}, the service drives {DRIVEN}")
    for name, vendor, product, nodes, _ in table:
        if not re.fullmatch(r"[0-9a-f]{4}", vendor) or not re.fullmatch(r"[0-9a-f]{4}", product):
            failures.append(f"{name}: ids must be four lower-case hex digits, as udev reports them")
        if not nodes or any(node not in NODE_KINDS for node in nodes):
            failures.append(f"{name}: nodes {nodes}")

    # The code: every constant, in order, with the table's values; the
    # numeric ids and their spelling agree.
    dump = subprocess.run([dump_program], check=True, capture_output=True, text=True).stdout.splitlines()
    code = []
    for line in dump:
        name, number_vendor, number_product, vendor, product, nodes, role = line.split(" ", 6)
        if (number_vendor, number_product) != (vendor, product):
            failures.append(f"{name}: numeric ids {number_vendor}:{number_product}, text {vendor}:{product}")
        code.append((name, vendor, product, nodes.split(","), role))
    if code != table:
        failures.append("the code's devices differ from the table:\n  code:  %s\n  table: %s" % (code, table))

    # The rules: exactly one per listed node of every device, nothing else.
    expected = {(node, vendor, product) for _, vendor, product, nodes, _ in table for node in nodes}
    rules = read_rules(rules_path)
    if rules != expected:
        failures.append(f"rules missing: {sorted(expected - rules)}; rules not in the table: {sorted(rules - expected)}")

    for failure in failures:
        print("FAIL:", failure)
    if not failures:
        print(f"{len(table)} devices; the code and {len(rules)} rules agree with the table")
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main(*sys.argv[1:]))
