#!/usr/bin/env python3
"""Fails when a source file includes a folder that is not below its own.

The order comes from the README's "Layers" block: every ParlendoCore folder lies below every
Parlendo folder, and within each tree a folder may include only the folders listed before it.
A file lying directly in ParlendoCore/ or Parlendo/ stands above every folder of its tree (and
ParlendoCore's above none of Parlendo's). Every file is read, whatever its name, and every
include is followed however it is written: "folder/file", <folder/file> or a path relative to
the including file. A folder that is not listed is an error, so a new folder gets its place in
the README first."""
import os
import re
import sys

ROOT = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
TREES = ("ParlendoCore", "Parlendo")
INCLUDE = re.compile(r'^\s*#\s*(?:include|import)\s*(?:"([^"]+)"|<([^>]+)>)')


def read_order():
    text = open(os.path.join(ROOT, "README.md"), encoding="utf-8").read()
    order = {}
    for tree in TREES:
        m = re.search(r"^%s:\s+(.+)$" % tree, text, re.M)
        if not m:
            sys.exit(f"check-layers: README.md has no '{tree}:' line in its Layers block")
        order[tree] = m.group(1).split()
    return order


def ranks(order):
    """The height of each (tree, folder); the folder "" is the tree's top."""
    rank = {}
    for i, sub in enumerate(order["ParlendoCore"]):
        rank[("ParlendoCore", sub)] = i
    base = len(order["ParlendoCore"])
    rank[("ParlendoCore", "")] = base - 0.5
    for i, sub in enumerate(order["Parlendo"]):
        rank[("Parlendo", sub)] = base + i
    rank[("Parlendo", "")] = float("inf")
    return rank


def place(path):
    """(tree, folder) of a file inside a tree, folder "" for the tree's top; None elsewhere."""
    rel = os.path.relpath(os.path.realpath(path), ROOT).split(os.sep)
    if len(rel) < 2 or rel[0] not in TREES:
        return None
    return (rel[0], rel[1] if len(rel) > 2 else "")


def name_of(place):
    return f"{place[0]}/{place[1]}" if place[1] else f"the top of {place[0]}"


def resolve(name, including, tree, quoted):
    """The file an include names, as the compiler's search would find it in this repository."""
    candidates = []
    if quoted:
        candidates.append(os.path.join(os.path.dirname(including), name))
    for root in (tree,) + tuple(t for t in TREES if t != tree):
        candidates.append(os.path.join(ROOT, root, name))
    for cand in candidates:
        if os.path.isfile(cand):
            return cand
    return None


def sources():
    for tree in TREES:
        for dirpath, dirnames, files in os.walk(os.path.join(ROOT, tree)):
            dirnames.sort()
            for name in sorted(files):
                yield tree, os.path.join(dirpath, name)


def main():
    order = read_order()
    rank = ranks(order)
    problems = []
    for tree in TREES:
        top = os.path.join(ROOT, tree)
        for sub in sorted(os.listdir(top)):
            if os.path.isdir(os.path.join(top, sub)) and (tree, sub) not in rank:
                problems.append(f"{tree}/{sub} is not listed in the README's Layers block")
    for tree, path in sources():
        here = place(path)
        if here not in rank:
            continue
        try:
            lines = open(path, encoding="utf-8").read().splitlines()
        except UnicodeDecodeError:
            continue  # not a text file
        for number, line in enumerate(lines, 1):
            m = INCLUDE.match(line)
            if not m:
                continue
            name = m.group(1) or m.group(2)
            found = resolve(name, path, tree, m.group(1) is not None)
            if found is None:
                continue
            target = place(found)
            if target is None or target == here:
                continue
            if target not in rank or rank[target] >= rank[here]:
                rel = os.path.relpath(path, ROOT)
                problems.append(f"{rel}:{number}: includes {name_of(target)}, which is not "
                                f"below {name_of(here)}")
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
