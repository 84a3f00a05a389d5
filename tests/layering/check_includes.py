#!/usr/bin/env python3
"""Holds the code to the layering the README states.

The README's Layout section lists the folders from the top layer down, in its first code block.
A folder may include its own headers and those of the folders listed below it, never one above
it nor a folder outside the list. Exits 1 and names every include that breaks that rule.

Usage: check_includes.py [ROOT]   (ROOT: the source tree, default the current folder)
"""
import os
import re
import sys

INCLUDE = re.compile(r'^\s*#\s*include\s+"([A-Za-z0-9_]+)/')
SOURCE_SUFFIXES = ('.h', '.cpp', '.rc', '.in')


def layer_order(readme_path):
    """The folders of the README's Layout block, top layer first."""
    with open(readme_path, encoding='utf-8') as readme:
        text = readme.read()
    section = text.split('\n## Layout', 1)
    if len(section) < 2:
        raise SystemExit(f'{readme_path}: no "## Layout" section')
    block = re.search(r'```\n(.*?)```', section[1], re.S)
    if block is None:
        raise SystemExit(f'{readme_path}: the Layout section has no code block')
    return [m.group(1) for m in re.finditer(r'^([a-z_]+)/\s', block.group(1), re.M)]


def violations(root, order):
    rank = {folder: i for i, folder in enumerate(order)}
    for folder in order:
        for directory, _, names in os.walk(os.path.join(root, folder)):
            for name in sorted(names):
                if not name.endswith(SOURCE_SUFFIXES):
                    continue
                path = os.path.join(directory, name)
                with open(path, encoding='utf-8', errors='replace') as source:
                    for number, line in enumerate(source, 1):
                        match = INCLUDE.match(line)
                        if match is None:
                            continue
                        target = match.group(1)
                        if target in rank and rank[target] >= rank[folder]:
                            continue
                        why = ('above it' if target in rank else 'outside the layers')
                        yield (f'{os.path.relpath(path, root)}:{number}: {folder}/ includes '
                               f'{target}/, which the README lists {why}')


def main():
    root = sys.argv[1] if len(sys.argv) > 1 else '.'
    order = layer_order(os.path.join(root, 'README.md'))
    if not order:
        raise SystemExit('README.md: the Layout block names no folder')
    found = list(violations(root, order))
    for problem in found:
        print(problem)
    if found:
        return 1
    print(f'{len(order)} layers, every include points down: ' + ' > '.join(order))
    return 0


if __name__ == '__main__':
    sys.exit(main())
