"""The package's control fields and file list, as dpkg-deb shows them.

    check_deb.py PACKAGE.deb VERSION
"""
import re
import subprocess
import sys

# Where the package may put files, and what must be there.
ALLOWED = ("./etc/periphd/", "./etc/xdg/autostart/", "./usr/bin/", "./usr/sbin/", "./usr/include/",
           "./usr/lib/udev/rules.d/", "./usr/lib/systemd/user/", "./usr/share/periphd/", "./usr/share/man/",
           "./usr/share/doc/periphd/")
REQUIRED = ("./usr/bin/periphd", "./usr/sbin/periphd-chromium-policy", "./usr/lib/udev/rules.d/70-periphd.rules",
            "./usr/lib/systemd/user/periphd.service", "./etc/xdg/autostart/periphd.desktop",
            "./etc/periphd/periphd.conf", "./usr/share/periphd/chromium-policy.json",
            "./usr/share/periphd/demo/index.html", "./usr/share/periphd/front.jpg",
            "./usr/share/periphd/back.jpg", "./usr/share/periphd/fonts.conf", "./usr/share/man/man1/periphd.1.gz",
            "./usr/share/man/man8/periphd-chromium-policy.8.gz", "./usr/share/doc/periphd/copyright",
            "./usr/share/doc/periphd/changelog.gz")
# Shared libraries periphd links (from dpkg-shlibdeps), and the fonts.
DEPENDS = ("libc6", "libqt5core5a", "libqt5widgets5", "libqt5websockets5", "libqt5network5", "libpcsclite1",
           "libusb-1.0-0", "libudev1", "libfontconfig1", "fonts-noto-cjk", "init-system-helpers")


def dpkg_deb(*args):
    return subprocess.run(["dpkg-deb", *args], check=True, capture_output=True, text=True).stdout


def main(deb, version):
    failures = []
    arch = subprocess.run(["dpkg", "--print-architecture"], check=True, capture_output=True, text=True).stdout.strip()
    multiarch = subprocess.run(["dpkg-architecture", "-qDEB_HOST_MULTIARCH"], check=True, capture_output=True,
                               text=True).stdout.strip()
    allowed = ALLOWED + (f"./usr/lib/{multiarch}/periphd/",)

    fields = {name: dpkg_deb("-f", deb, name).strip() for name in
              ("Package", "Version", "Architecture", "Maintainer", "Depends", "Recommends", "Section", "Priority",
               "Description")}
    expected = {"Package": "periphd", "Version": version, "Architecture": arch, "Recommends": "pcscd",
                "Section": "utils", "Priority": "optional"}
    for name, value in expected.items():
        if fields[name] != value:
            failures.append(f"{name}: {fields[name]!r}, expected {value!r}")
    if not re.fullmatch(r"[^<>]+ <[^@<>\s]+@[^@<>\s]+>", fields["Maintainer"]):
        failures.append(f"Maintainer {fields['Maintainer']!r} is not 'Name <address>'")
    depends = {re.split(r"[ (]", alternative.strip())[0] for entry in fields["Depends"].split(",")
               for alternative in entry.split("|")}
    failures += [f"Depends lacks {name}: {fields['Depends']}" for name in DEPENDS if name not in depends]

    entries = {}
    for line in dpkg_deb("-c", deb).splitlines():
        mode, owner, _size, _date, _time, path = line.split(None, 5)
        entries[path.split(" -> ")[0]] = (mode, owner)
    files = [path for path, (mode, _) in entries.items() if not mode.startswith("d")]
    failures += [f"missing {path}" for path in REQUIRED if path not in entries]
    failures += [f"{path} is outside the package's places" for path in files if not path.startswith(allowed)]
    failures += [f"{path} belongs to {owner}" for path, (_, owner) in entries.items() if owner != "root/root"]
    for path, (mode, _) in entries.items():
        want = ("drwxr-xr-x" if mode.startswith("d") else "lrwxrwxrwx" if mode.startswith("l") else
                "-rwxr-xr-x" if "/bin/" in path or "/sbin/" in path else "-rw-r--r--")
        if mode != want:
            failures.append(f"{path}: mode {mode}, expected {want}")

    # Every file under /etc, and nothing else, is a conffile.
    control = subprocess.run(["dpkg-deb", "--ctrl-tarfile", deb], check=True, capture_output=True).stdout
    conffiles = subprocess.run(["tar", "-xO", "./conffiles"], input=control, check=True,
                               capture_output=True).stdout.decode().split()
    etc = sorted(path[1:] for path in files if path.startswith("./etc/"))
    if sorted(conffiles) != etc:
        failures.append(f"conffiles {conffiles}, files under /etc {etc}")

    for failure in failures:
        print("FAIL:", failure)
    if not failures:
        print(f"{deb}: control fields, {len(files)} files, modes, owners and conffiles as expected")
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main(*sys.argv[1:]))
