#!/usr/bin/env python3
"""Fails when a source folder includes a folder that is not below it.

The order comes from the README's "Layers" block: every ParlendoCore folder lies below every
Parlendo folder, and within each tree a folder may include only the folders listed before it.
A folder that is not listed is an error, so a new folder gets its place in the README first."""
import os
import re
import sys

ROOT = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
INCLUDE = re.compile(r'^\s*#\s*include\s+"([A-Za-z_]+)/([^"]+)"')


def read_order():
    text = open(os.path.join(ROOT, "README.md"), encoding="utf-8").read()
    order = {}
    for tree in ("ParlendoCore", "Parlendo"):
        m = re.search(r"^%s:\s+(.+)$" % tree, text, re.M)
        if not m:
            sys.exit(f"check-layers: README.md has no '{tree}:' line in its Layers block")
        order[tree] = m.group(1).split()
    return order


def main():
    order = read_order()
    rank = {}
    for i, sub in enumerate(order["ParlendoCore"]):
        rank[("ParlendoCore", sub)] = i
    base = len(order["ParlendoCore"])
    for i, sub in enumerate(order["Parlendo"]):
        rank[("Parlendo", sub)] = base + i
    problems = []
    for tree in ("ParlendoCore", "Parlendo"):
        top = os.path.join(ROOT, tree)
        for sub in sorted(os.listdir(top)):
            folder = os.path.join(top, sub)
            if not os.path.isdir(folder):
                continue
            if (tree, sub) not in rank:
                problems.append(f"{tree}/{sub} is not listed in the README's Layers block")
                continue
            for dirpath, _, files in os.walk(folder):
                for name in sorted(files):
                    if not name.endswith((".h", ".cpp", ".hpp")):
                        continue
                    path = os.path.join(dirpath, name)
                    for number, line in enumerate(open(path, encoding="utf-8", errors="replace"), 1):
                        m = INCLUDE.match(line)
                        if not m:
                            continue
                        target = None
                        for cand in ((tree, m.group(1)), ("ParlendoCore", m.group(1)),
                                     ("Parlendo", m.group(1))):
                            if os.path.exists(os.path.join(ROOT, cand[0], cand[1], m.group(2))):
                                target = cand
                                break
                        if target is None or target == (tree, sub):
                            continue
                        if target not in rank or rank[target] >= rank[(tree, sub)]:
                            rel = os.path.relpath(path, ROOT)
                            problems.append(f"{rel}:{number}: includes {target[0]}/{target[1]}, "
                                            f"which is not below {tree}/{sub}")
    for p in problems:
        print(p, file=sys.stderr)
    if problems:
        print("check-layers: folders must include only folders below them (README, Layers)",
              file=sys.stderr)
        return 1
    print("check-layers: ok")
    return 0


if __name__ == "__main__":
    sys.exit(main())
