#!/usr/bin/env python3
"""Checks the includes of vxs/ against the layers that docs/architecture.md draws.

Usage: check_layers.py ROOT          check the tree at ROOT (its vxs/ and docs/architecture.md)
       check_layers.py --self-test   check that each kind of fault is found in made-up trees

The document's table "The layers" gives each folder the folders it may include; its table
"File rules" gives finer rules: "never reaches" (neither the files nor any vxs/ header they
include, however deep, includes an object) and "only included by" (a system header only in the
files named).  Every fault is printed as "file:line: what"; the exit status is 1 when there is
one, 2 when the document cannot be read.
"""
import fnmatch
import os
import re
import sys
import tempfile

INCLUDE = re.compile(r'^\s*#\s*include\s*([<"])([^>"]+)[>"]')
TICKS = re.compile(r'`([^`]+)`')


class DocError(Exception):
    pass


def table_rows(text, heading):
    """The body rows of the first table under `## heading`, as lists of cells."""
    lines = text.split('\n')
    try:
        start = next(i for i, l in enumerate(lines) if l.strip() == '## ' + heading)
    except StopIteration:
        raise DocError(f'no section "## {heading}"')
    rows = []
    for line in lines[start + 1:]:
        if line.startswith('## '):
            break
        if not line.startswith('|'):
            if rows:
                break
            continue
        cells = [c.strip() for c in line.strip().strip('|').split('|')]
        if all(set(c) <= set('-: ') for c in cells):
            continue
        rows.append(cells)
    if len(rows) < 2:
        raise DocError(f'no table under "## {heading}"')
    return rows[1:]  # the first row is the heading


def read_rules(doc_path):
    text = open(doc_path, encoding='utf-8').read()
    allowed = {}
    for cells in table_rows(text, 'The layers'):
        if len(cells) != 3:
            raise DocError(f'layer row with {len(cells)} cells: {cells}')
        folders = TICKS.findall(cells[0])
        if len(folders) != 1 or not folders[0].endswith('/'):
            raise DocError(f'layer row without one folder: {cells[0]}')
        folder = folders[0].rstrip('/')
        allowed[folder] = {f.rstrip('/') for f in TICKS.findall(cells[2])}
    for folder, targets in allowed.items():
        for t in targets:
            if t not in allowed:
                raise DocError(f'{folder} may include {t}, which has no row')
    never, only = [], []
    for cells in table_rows(text, 'File rules'):
        if len(cells) != 3:
            raise DocError(f'file rule with {len(cells)} cells: {cells}')
        subjects, objects = TICKS.findall(cells[0]), TICKS.findall(cells[2])
        if not subjects or not objects:
            raise DocError(f'file rule without subjects or objects: {cells}')
        if cells[1] == 'never reaches':
            never.append((subjects, objects))
        elif cells[1] == 'only included by':
            only.append(([s.strip('<>') for s in subjects], objects))
        else:
            raise DocError(f'unknown rule "{cells[1]}"')
    return allowed, never, only


def scan(vxs):
    """{path relative to vxs: [(line number, '<' or '"', included name)]}"""
    files = {}
    for folder in sorted(os.listdir(vxs)):
        d = os.path.join(vxs, folder)
        if not os.path.isdir(d):
            continue
        for name in sorted(os.listdir(d)):
            if not name.endswith(('.h', '.cpp', '.inc')):
                continue
            rel = f'{folder}/{name}'
            incs = []
            with open(os.path.join(d, name), encoding='utf-8', errors='replace') as f:
                for n, line in enumerate(f, 1):
                    m = INCLUDE.match(line)
                    if m:
                        incs.append((n, m.group(1), m.group(2)))
            files[rel] = incs
    return files


def check(root):
    doc = os.path.join(root, 'docs', 'architecture.md')
    allowed, never, only = read_rules(doc)
    files = scan(os.path.join(root, 'vxs'))
    faults = []
    folders = {rel.split('/')[0] for rel in files}
    for folder in sorted(folders - set(allowed)):
        faults.append(f'vxs/{folder}/: a folder without a row in docs/architecture.md')
    for rel, incs in files.items():
        folder = rel.split('/')[0]
        for n, kind, name in incs:
            if kind != '"':
                continue
            if not name.startswith('vxs/'):
                continue
            target = name[len('vxs/'):]
            if target not in files:
                faults.append(f'vxs/{rel}:{n}: includes {name}, which does not exist')
                continue
            tfolder = target.split('/')[0]
            if tfolder != folder and tfolder not in allowed.get(folder, set()):
                faults.append(f'vxs/{rel}:{n}: {folder}/ may not include {name}')
    for subjects, objects in never:
        for rel in files:
            if not any(fnmatch.fnmatch(rel, s) for s in subjects):
                continue
            seen, path = {rel: None}, [rel]
            while path:
                cur = path.pop()
                for n, kind, name in files.get(cur, []):
                    if kind != '"' or not name.startswith('vxs/'):
                        continue
                    t = name[len('vxs/'):]
                    if t in seen or t not in files:
                        continue
                    seen[t] = cur
                    if any(fnmatch.fnmatch(t, o) for o in objects):
                        chain, c = [t], cur
                        while c is not None:
                            chain.append(c)
                            c = seen[c]
                        faults.append(f'vxs/{rel}: reaches vxs/{t} ('
                                      + ' -> '.join(reversed(chain)) + ')')
                    elif t.endswith(('.h', '.inc')):
                        path.append(t)
    for headers, owners in only:
        for rel, incs in files.items():
            for n, kind, name in incs:
                if kind != '<' or not any(fnmatch.fnmatch(name, h) for h in headers):
                    continue
                if not any(fnmatch.fnmatch(rel, o) for o in owners):
                    faults.append(f'vxs/{rel}:{n}: <{name}> is only for ' + ', '.join(owners))
    return faults


# ---- the self-test: each kind of fault in a made-up tree is found, a clean tree passes ----

DOC = '''# Architecture
## The layers
| Folder | Its job | May include |
|---|---|---|
| `low/` | the bottom | — |
| `mid/` | the middle | `low/` |
| `top/` | the top | `low/`, `mid/` |

## File rules
| Subject | Rule | Objects |
|---|---|---|
| `mid/lane.*` | never reaches | `mid/loop.h` |
| `<unistd.h>`, `<sys/*>` | only included by | `low/*` |
'''

CLEAN = {
    'low/a.h': '#include <unistd.h>\n',
    'mid/b.h': '#include "vxs/low/a.h"\n',
    'mid/loop.h': '#include "vxs/mid/step.h"\n',
    'mid/step.h': '#include <string>\n',
    'mid/lane.cpp': '#include "vxs/mid/step.h"\n',
    'top/c.cpp': '#include "vxs/mid/b.h"\n#include "vxs/mid/loop.h"\n',
}

BROKEN = {
    'upward include': ({'low/a.h': '#include <unistd.h>\n#include "vxs/mid/b.h"\n'},
                       'low/ may not include vxs/mid/b.h'),
    'missing file': ({'top/c.cpp': '#include "vxs/mid/gone.h"\n'}, 'does not exist'),
    'folder without a row': ({'new/d.cpp': '#include "vxs/low/a.h"\n'}, 'without a row'),
    'reach through a header': ({'mid/step.h': '#include "vxs/mid/loop.h"\n'},
                               'vxs/mid/lane.cpp: reaches vxs/mid/loop.h'),
    'system header outside its owners': ({'top/c.cpp': '#include <sys/stat.h>\n'},
                                         '<sys/stat.h> is only for low/*'),
}


def make_tree(base, files):
    os.makedirs(os.path.join(base, 'docs'))
    with open(os.path.join(base, 'docs', 'architecture.md'), 'w') as f:
        f.write(DOC)
    for rel, text in files.items():
        p = os.path.join(base, 'vxs', rel)
        os.makedirs(os.path.dirname(p), exist_ok=True)
        with open(p, 'w') as f:
            f.write(text)


def self_test():
    failed = 0
    with tempfile.TemporaryDirectory() as tmp:
        clean = os.path.join(tmp, 'clean')
        make_tree(clean, CLEAN)
        faults = check(clean)
        if faults:
            print('clean tree: unexpected faults:', *faults, sep='\n  ')
            failed += 1
        for i, (what, (change, expect)) in enumerate(BROKEN.items()):
            base = os.path.join(tmp, f'broken{i}')
            make_tree(base, {**CLEAN, **change})
            faults = check(base)
            if not any(expect in f for f in faults):
                print(f'{what}: "{expect}" not reported; got:', *faults, sep='\n  ')
                failed += 1
        bad_doc = os.path.join(tmp, 'baddoc')
        make_tree(bad_doc, CLEAN)
        with open(os.path.join(bad_doc, 'docs', 'architecture.md'), 'w') as f:
            f.write(DOC.replace('| `top/` | the top | `low/`, `mid/` |',
                                '| `top/` | the top | `low/`, `side/` |'))
        try:
            check(bad_doc)
            print('a layer that may include a folder without a row: not refused')
            failed += 1
        except DocError:
            pass
    print('self-test:', 'failed' if failed else 'passed')
    return 1 if failed else 0


def main(argv):
    if len(argv) == 2 and argv[1] == '--self-test':
        return self_test()
    if len(argv) != 2:
        print(__doc__.strip().split('\n\n')[1], file=sys.stderr)
        return 2
    try:
        faults = check(argv[1])
    except (DocError, OSError) as e:
        print(f'docs/architecture.md: {e}', file=sys.stderr)
        return 2
    for f in faults:
        print(f)
    print(f'{len(faults)} include fault(s)' if faults else 'the includes follow the layers')
    return 1 if faults else 0


if __name__ == '__main__':
    sys.exit(main(sys.argv))
