#!/usr/bin/env python3
"""Draws the folders' includes and fails when a folder includes one on a higher floor.

Usage: include-floors.py [-v]   (-v prints every edge, not only the climbing ones)
The floors are those of ARCHITECTURE.md; a folder missing here fails too, so that a new folder
gets its floor when it is made.
"""
import collections
import os
import re
import sys

ROOT = os.path.join(os.path.dirname(os.path.abspath(__file__)), '..')

# The longest matching prefix decides. Programs (mailrune, bastrel) stand beside the floors:
# they may use only the floors below them.
FLOORS = {
    'include': 0, 'core': 0,
    'transport': 1, 'workspace/calc': 1, 'workspace/exchangedocs': 1, 'workspace/exchangechecks': 1,
    'reports': 1, 'mailrune': 1, 'bastrel': 1,
    'core/ui': 2,
    'controls': 3, 'bastrel/app': 3,
    'workspace/grid': 4,
    'workspace/exchange': 5, 'reports/ui': 5,
    'workspace/editor': 6,
    'shell/books': 7,
    'shell/app': 8,
}
SOURCE_FOLDERS = ['include', 'core', 'transport', 'controls', 'workspace', 'reports', 'mailrune', 'bastrel', 'shell']


def floor(folder):
    best = None
    for prefix, n in FLOORS.items():
        if folder == prefix or folder.startswith(prefix + '/'):
            if best is None or len(prefix) > len(best[0]):
                best = (prefix, n)
    return best[1] if best else None


def main():
    verbose = '-v' in sys.argv
    by_name = collections.defaultdict(list)
    for top in SOURCE_FOLDERS:
        for folder, _, names in os.walk(os.path.join(ROOT, top)):
            for name in names:
                if name.endswith(('.h', '.cpp')):
                    by_name[name].append(os.path.relpath(os.path.join(folder, name), ROOT))
    edges = collections.Counter()
    for paths in by_name.values():
        for path in paths:
            here = os.path.dirname(path)
            with open(os.path.join(ROOT, path), encoding='utf-8', errors='replace') as f:
                for line in f:
                    m = re.match(r'\s*#\s*include\s+"([^"]+)"', line)
                    if not m:
                        continue
                    wanted = m.group(1)
                    found = [p for p in by_name.get(os.path.basename(wanted), []) if p.endswith(wanted)]
                    if not found:
                        continue
                    # The compiler looks beside the including file first.
                    target = next((p for p in found if os.path.dirname(p) == here), found[0])
                    if os.path.dirname(target) != here:
                        edges[(here, os.path.dirname(target))] += 1
    failures = 0
    for (src, dst), count in sorted(edges.items()):
        fs, fd = floor(src), floor(dst)
        if fs is None or fd is None:
            print(f'{src if fs is None else dst}: no floor in scripts/include-floors.py')
            failures += 1
        elif fd > fs:
            print(f'{src} (floor {fs}) -> {dst} (floor {fd}): {count} includes CLIMB')
            failures += 1
        elif verbose:
            print(f'{src} (floor {fs}) -> {dst} (floor {fd}): {count}')
    print(f'{len(edges)} folder edges, {failures} failing')
    return 1 if failures else 0


if __name__ == '__main__':
    sys.exit(main())
