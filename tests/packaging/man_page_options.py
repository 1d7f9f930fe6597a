"""A program's manual page documents exactly the options its --help lists.

    man_page_options.py PROGRAM MANPAGE
"""
import os
import re
import subprocess
import sys

# Qt's parser adds this one to every program.
IMPLICIT = {"help-all"}


def help_options(program):
    env = dict(os.environ, QT_QPA_PLATFORM="offscreen")
    text = subprocess.run([program, "--help"], capture_output=True, text=True, env=env, timeout=30,
                          check=True).stdout
    return set(re.findall(r"^\s+(?:-\w, )?--([a-z][a-z-]*)", text, re.MULTILINE)) - IMPLICIT


def man_options(path):
    with open(path, encoding="utf-8") as page:
        text = page.read()
    section = re.search(r"^\.SH OPTIONS\n(.*?)^\.SH ", text, re.MULTILINE | re.DOTALL)
    if not section:
        raise SystemExit(f"{path}: no OPTIONS section")
    return set(re.findall(r"^\.BI? \\-\\-([a-z][a-z\\-]*)", section.group(1), re.MULTILINE))


def main(program, page):
    documented = {name.replace("\\-", "-") for name in man_options(page)}
    offered = help_options(program)
    if documented != offered:
        print(f"FAIL: {page}: undocumented {sorted(offered - documented)}, "
              f"documented but not offered {sorted(documented - offered)}")
        return 1
    print(f"{os.path.basename(page)}: {len(offered)} options, all documented")
    return 0


if __name__ == "__main__":
    sys.exit(main(*sys.argv[1:]))
