#!/usr/bin/env python3
# SPDX-License-Identifier: Apache-2.0
"""Fails when the project's includes break its shape: a cycle of files that include each
other, the reading side (core/read/) or the description including anything of the writing
side (core/write/, the layouts table), the core or the platform layer including the window
or the command line, or the window and the command line including each other.

    scripts/check-includes.py [ROOT]
"""
import os
import re
import sys

ROOT = os.path.abspath(sys.argv[1] if len(sys.argv) > 1 else
                       os.path.join(os.path.dirname(__file__), '..'))
FOLDERS = ('core', 'platform', 'app', 'cli', 'tests', 'bench', 'fuzz', 'samples')
INCLUDE = re.compile(r'^\s*#\s*include\s+"([^"]+)"', re.M)

# (who, what they must not include, why): paths are prefixes from the root.
WRITING = ('core/write/', 'core/layouts.')
DESCRIPTION = ('core/mac_file.', 'core/finder_info.')
RULES = [
    (('core/read/',), WRITING, 'the reading side includes nothing of the writing side'),
    (DESCRIPTION, WRITING + ('core/read/',), 'the description knows no reader or writer'),
    (('core/', 'platform/'), ('app/', 'cli/'), 'the core knows no window and no command line'),
    (('app/',), ('cli/',), 'the window and the command line include nothing of each other'),
    (('cli/',), ('app/',), 'the window and the command line include nothing of each other'),
]
# The platform layer stands beneath the core; it takes only the character sets, which need
# nothing themselves.
PLATFORM_MAY = ('core/common/charsets.h',)


def sources():
    for folder in FOLDERS:
        for base, _, names in os.walk(os.path.join(ROOT, folder)):
            for name in names:
                if name.endswith(('.cpp', '.h')):
                    path = os.path.join(base, name)
                    yield os.path.relpath(path, ROOT).replace(os.sep, '/')


def includes_of(path):
    with open(os.path.join(ROOT, path), encoding='utf-8', errors='replace') as f:
        text = f.read()
    return [i for i in INCLUDE.findall(text) if os.path.exists(os.path.join(ROOT, i))]


def cycles(graph):
    """The strongly connected components of more than one file, or of a file that includes
    itself (Tarjan's algorithm, without recursion)."""
    index, low, on_stack, stack, found = {}, {}, set(), [], []
    counter = 0
    for start in graph:
        if start in index:
            continue
        work = [(start, iter(graph[start]))]
        index[start] = low[start] = counter
        counter += 1
        stack.append(start)
        on_stack.add(start)
        while work:
            node, edges = work[-1]
            advanced = False
            for nxt in edges:
                if nxt not in graph:
                    continue
                if nxt not in index:
                    index[nxt] = low[nxt] = counter
                    counter += 1
                    stack.append(nxt)
                    on_stack.add(nxt)
                    work.append((nxt, iter(graph[nxt])))
                    advanced = True
                    break
                if nxt in on_stack:
                    low[node] = min(low[node], index[nxt])
            if advanced:
                continue
            work.pop()
            if work:
                low[work[-1][0]] = min(low[work[-1][0]], low[node])
            if low[node] == index[node]:
                component = []
                while True:
                    member = stack.pop()
                    on_stack.discard(member)
                    component.append(member)
                    if member == node:
                        break
                if len(component) > 1 or node in graph[node]:
                    found.append(sorted(component))
    return found


def main():
    graph = {path: includes_of(path) for path in sources()}
    problems = []
    for component in cycles(graph):
        problems.append('files that include each other: ' + ' <-> '.join(component))
    for path, included in sorted(graph.items()):
        for target in included:
            for who, banned, why in RULES:
                if path.startswith(who) and target.startswith(banned):
                    problems.append(f'{path} includes {target}: {why}')
            if (path.startswith('platform/') and target.startswith('core/')
                    and target not in PLATFORM_MAY):
                problems.append(f'{path} includes {target}: the platform layer stands '
                                'beneath the core')
    for problem in problems:
        print('check-includes: ' + problem, file=sys.stderr)
    return 1 if problems else 0


if __name__ == '__main__':
    sys.exit(main())
