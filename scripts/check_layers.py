#!/usr/bin/env python3
"""Checks every #include of the source folders against README's layer table.

The table (section "## Layers" of README.md) names each folder and the folders it may
include; a folder may always include its own headers, and includes without a folder
("view.h") stay inside their folder. Prints each include against the table and exits 1
when there is one.
    check_layers.py [ROOT]
"""
import os
import re
import sys

SOURCES = ('.cpp', '.h', '.c', '.S', '.inc')
INCLUDE = re.compile(r'^\s*#\s*include\s+"([^"]+)"')


def read_table(readme):
    rows, in_section = {}, False
    for line in open(readme, encoding='utf-8'):
        if line.startswith('## '):
            in_section = line.strip() == '## Layers'
            continue
        if not in_section or not line.startswith('|'):
            continue
        cells = [c.strip() for c in line.strip().strip('|').split('|')]
        if len(cells) < 2 or cells[0] in ('folder', '') or set(cells[0]) <= set('-: '):
            continue
        for folder in re.findall(r'`([^`]+)/`', cells[0]):
            rows[folder] = set(re.findall(r'`([^`]+)/`', cells[1]))
    return rows


def main():
    root = os.path.abspath(sys.argv[1] if len(sys.argv) > 1 else
                           os.path.join(os.path.dirname(__file__), '..'))
    table = read_table(os.path.join(root, 'README.md'))
    if not table:
        print('check_layers: README.md has no "## Layers" table')
        return 1
    bad = []
    for folder, allowed in sorted(table.items()):
        for base, dirs, files in os.walk(os.path.join(root, folder)):
            # A subfolder with a row of its own is checked by that row.
            dirs[:] = [d for d in dirs
                       if os.path.relpath(os.path.join(base, d), root).replace(os.sep, '/') not in table]
            for name in sorted(files):
                if not name.endswith(SOURCES):
                    continue
                path = os.path.join(base, name)
                for n, line in enumerate(open(path, encoding='utf-8', errors='replace'), 1):
                    m = INCLUDE.match(line)
                    if not m or '/' not in m.group(1):
                        continue
                    target = m.group(1).split('/')[0]
                    if target != folder and target in table and target not in allowed:
                        bad.append(f'{os.path.relpath(path, root)}:{n}: {folder}/ may not '
                                   f'include {m.group(1)} ({target}/ is not below it)')
    for b in bad:
        print(b)
    if bad:
        print(f'check_layers: {len(bad)} include(s) against the layer table in README.md')
        return 1
    return 0


if __name__ == '__main__':
    sys.exit(main())
