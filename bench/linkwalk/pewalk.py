#!/usr/bin/env python3
"""A second dependency walker, written with Debian's python3-pefile, for the benchmark: the same
roots, the same search order (application folder, then the system list of the importing module's
machine: system folder or WOW64 folder, Windows folder, Path) and the same rules (delay imports
before imports, each name resolved once, a module of another machine than the root's counted
missing). It reads no manifests and no .NET metadata.

usage: pewalk.py <wine prefix> <maps of linkwalk_bench> [<output maps>]
Walks every root named in the linkwalk maps, prints modules per second and compares the maps.
"""
import os
import sys
import time

import pefile

PREFIX = sys.argv[1]
_dir_cache = {}


def host_dir(win_dir):
    """Host folder of a Windows folder (drive C: of the prefix), found without regard to case."""
    key = win_dir.upper().rstrip("\\")
    if key in _dir_cache:
        return _dir_cache[key]
    parts = key.split("\\")
    if not parts or parts[0] not in ("C:", "Z:"):
        _dir_cache[key] = None
        return None
    cur = os.path.join(PREFIX, "drive_c") if parts[0] == "C:" else "/"
    for part in parts[1:]:
        entries = listing(cur)
        if entries is None or part not in entries:
            cur = None
            break
        cur = os.path.join(cur, entries[part])
    _dir_cache[key] = cur
    return cur


_list_cache = {}


def listing(host):
    if host not in _list_cache:
        try:
            _list_cache[host] = {n.upper(): n for n in os.listdir(host)}
        except OSError:
            _list_cache[host] = None
    return _list_cache[host]


def host_file(win_path):
    d, _, name = win_path.rpartition("\\")
    hd = host_dir(d)
    if hd is None:
        return None
    entries = listing(hd)
    if entries is None or name.upper() not in entries:
        return None
    p = os.path.join(hd, entries[name.upper()])
    return p if os.path.isfile(p) else None


def search_lists(path_value):
    sys_dir, wow_dir, win_dir = "C:\\WINDOWS\\SYSTEM32\\", "C:\\windows\\syswow64\\", "C:\\WINDOWS\\"
    l32, l64 = [wow_dir, win_dir], [sys_dir, win_dir]
    for lst in (l32, l64):
        before = list(lst)
        for piece in path_value.split(";"):
            piece = piece.upper().strip('"')
            if not piece or piece.startswith("%"):
                continue
            if not piece.endswith("\\"):
                piece += "\\"
            if piece not in before:
                lst.append(piece)
    return {0x14C: l32, 0x8664: l64}


class Walker:
    def __init__(self, lists):
        self.lists = lists

    def walk_root(self, root):
        self.found, self.missing, self.resolved = {}, {}, {}
        self.root_machine = 0
        self.app_dir = root.rpartition("\\")[0]
        self.opened = 0
        self.add(root, root, 1)
        return self.found, self.missing

    def search(self, machine, directory, name):
        if directory is not None:
            cand = directory + ("" if directory.endswith("\\") else "\\") + name
            return cand if host_file(cand) else None
        for d in self.lists.get(machine, []):
            if host_file(d + name):
                return d + name
        return None

    def add(self, module, origin, same):
        key = module.upper()
        if key in self.found or key in self.missing:
            return
        hp = host_file(module)
        if hp is None:
            return
        try:
            pe = pefile.PE(hp, fast_load=True)
        except pefile.PEFormatError:
            return
        self.opened += 1
        machine = pe.FILE_HEADER.Machine
        if self.root_machine == 0:
            self.root_machine = machine
        if same and machine != self.root_machine:
            self.missing[module.rpartition("\\")[2].upper()] = origin
            return
        if module != origin:
            self.found[key] = module
        elif self.found or self.missing:
            return
        if machine not in (0x14C, 0x8664):
            return
        pe.parse_data_directories(directories=[
            pefile.DIRECTORY_ENTRY["IMAGE_DIRECTORY_ENTRY_IMPORT"],
            pefile.DIRECTORY_ENTRY["IMAGE_DIRECTORY_ENTRY_DELAY_IMPORT"]])
        names = []
        for attr in ("DIRECTORY_ENTRY_DELAY_IMPORT", "DIRECTORY_ENTRY_IMPORT"):
            for entry in getattr(pe, attr, []):
                if entry.dll:
                    names.append(entry.dll.decode("latin-1"))
        pe.close()
        seen = set()
        for name in names:
            if name.upper() in seen:
                continue
            seen.add(name.upper())
            self.resolve(machine, origin, name)

    def resolve(self, machine, origin, name):
        key = name.upper()
        if key in self.resolved:
            return
        path = self.search(machine, self.app_dir, name) or self.search(machine, None, name)
        if path is None:
            self.missing[key] = origin
            return
        self.resolved[key] = path
        if path != origin:
            self.add(path, origin, 1)


def main():
    ours, path_value, roots = {}, "", []
    with open(sys.argv[2], encoding="utf-8") as f:
        for line in f:
            fields = line.rstrip("\n").split("\t")
            if fields[0] == "#PATH":
                path_value = fields[1]
                continue
            root, kind, key = fields
            if root not in ours:
                ours[root] = (set(), set())
                roots.append(root)
            ours[root][0 if kind == "F" else 1].add(key)
    # Roots whose maps are empty are not in the file: take every module of the same folder.
    if roots:
        folder = roots[0].rpartition("\\")[0]
        entries = listing(host_dir(folder)) or {}
        roots = sorted({folder + "\\" + real for up, real in entries.items()
                        if up.endswith((".DLL", ".EXE")) and os.path.isfile(os.path.join(host_dir(folder), real))})
    walker = Walker(search_lists(path_value))
    t0 = time.perf_counter()
    theirs, modules = {}, 0
    for root in roots:
        found, missing = walker.walk_root(root)
        theirs[root] = ({k.upper() for k in found}, {k.upper() for k in missing})
        modules += 1 + len(found)
    seconds = time.perf_counter() - t0
    print("pefile:   %d roots, %d modules in %.3f s: %.1f roots/s, %.1f modules/s"
          % (len(roots), modules, seconds, len(roots) / seconds, modules / seconds))
    same = differ = 0
    shown = 0
    for root in roots:
        a = ours.get(root, (set(), set()))
        b = theirs[root]
        if a == b:
            same += 1
            continue
        differ += 1
        if shown < 10:
            shown += 1
            print("  %s: only linkwalk found %s, only pefile found %s; only linkwalk missing %s, only pefile missing %s"
                  % (root, sorted(a[0] - b[0])[:3], sorted(b[0] - a[0])[:3], sorted(a[1] - b[1])[:3],
                     sorted(b[1] - a[1])[:3]))
    print("maps: %d roots equal, %d differ (manifest and .NET references are linkwalk's alone)" % (same, differ))


main()
