#!/usr/bin/env python3
"""Lists the pairs of folders of src/core and of src/gui that include each other.

A folder may use the folders below it; two folders that include each other can
only be understood, built and tested together. Each #include "a/b.h" is resolved
against the folder of the including file (its own folder first, then src/core,
src/gui, src): files directly in src/core or src/gui count as a folder of their own.
Exits 1 when a pair outside KNOWN is found, so CTest fails on a new cycle.
"""
import os, re, sys
from itertools import combinations

root = os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "src")
root = os.path.normpath(root)
inc = re.compile(r'^\s*#\s*include\s+"([^"]+)"', re.M)


def folder_of(path, layer):
    rel = os.path.relpath(path, os.path.join(root, layer))
    parts = rel.split(os.sep)
    return parts[0] if len(parts) > 1 else "(" + layer + ")"


# Pairs still being taken apart; remove a line when its pair is gone.
KNOWN = set()

found = []
new = 0
for layer in ("core", "gui"):
    base = os.path.join(root, layer)
    edges = set()
    for d, _, files in os.walk(base):
        for f in files:
            if not f.endswith((".h", ".cpp")):
                continue
            src = os.path.join(d, f)
            with open(src, encoding="utf-8", errors="replace") as fh:
                text = fh.read()
            for name in inc.findall(text):
                for cand in (os.path.join(d, name), os.path.join(base, name),
                             os.path.join(root, name)):
                    cand = os.path.normpath(cand)
                    if os.path.isfile(cand) and cand.startswith(base + os.sep):
                        a, b = folder_of(src, layer), folder_of(cand, layer)
                        if a != b:
                            edges.add((a, b, os.path.relpath(src, root), os.path.relpath(cand, root)))
                        break
    pairs = {}
    for a, b, s, t in edges:
        pairs.setdefault((a, b), []).append(f"{s} -> {t}")
    for a, b in sorted({tuple(sorted(k)) for k in pairs}):
        if (a, b) in pairs and (b, a) in pairs:
            known = (layer, a, b) in KNOWN
            new += not known
            found.append(f"{layer}: {a} <-> {b}" + ("  (known)" if known else "  (NEW)"))
            for line in sorted(pairs[(a, b)] + pairs[(b, a)]):
                found.append("    " + line)

print("\n".join(found) if found else "no two folders include each other")
sys.exit(1 if new else 0)
