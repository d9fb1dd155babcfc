#!/usr/bin/python3
"""Fails when the program's code includes a folder above its own.

The README's Layout table lists the program's folders top to bottom; a file
may include headers of its own folder and of the folders below it. Outside
kernel/, only the kernel's public header (kernel/include/) may be included.

    check_layout.py SOURCE_DIR      check the tree
    check_layout.py --self-test     show that the check sees both faults
"""
import pathlib
import re
import sys
import tempfile

INCLUDE = re.compile(r'^\s*#\s*include\s+"([^"]+)"', re.MULTILINE)
TABLE_ROW = re.compile(r"^\|\s*([a-z/]+/)\s*\|")
SOURCES = ("*.h", "*.cpp", "*.h.in")
KERNEL_PUBLIC = "kernel/include/"


def layout_folders(root):
    """The first table under "## Layout", in order: its rows' folders."""
    text = (root / "README.md").read_text(encoding="utf-8")
    folders, in_layout, in_table = [], False, False
    for line in text.splitlines():
        if line.startswith("## "):
            in_layout = line.strip() == "## Layout"
            continue
        match = TABLE_ROW.match(line) if in_layout else None
        if match:
            in_table = True
            folders.append(match.group(1))
        elif in_table:
            break
    return folders


def folder_of(path, folders):
    """The deepest layout folder holding `path` (relative, with "/")."""
    owners = [f for f in folders if path.startswith(f)]
    return max(owners, key=len) if owners else None


def resolve(root, includer, name):
    """The included file, relative to the root, or None when it is not ours."""
    for base in (includer.parent, root, root / "kernel" / "include"):
        for candidate in (base / name, base / (name + ".in")):
            if candidate.is_file():
                return candidate.resolve().relative_to(root.resolve()).as_posix()
    return None


def faults(root):
    folders = layout_folders(root)
    if not folders:
        return ["README.md has no Layout table"]
    rank = {folder: index for index, folder in enumerate(folders)}
    found = []
    for folder in folders:
        for pattern in SOURCES:
            for source in sorted((root / folder).rglob(pattern)):
                own_path = source.relative_to(root).as_posix()
                own = folder_of(own_path, folders)
                if own != folder:
                    continue  # a deeper row checks it
                text = source.read_text(encoding="utf-8", errors="replace")
                for name in INCLUDE.findall(text):
                    target = resolve(root, source, name)
                    theirs = folder_of(target, folders) if target else None
                    if theirs is None:
                        continue
                    if rank[theirs] < rank[own]:
                        found.append(f"{own_path}: includes {target}, which lies above {own}")
                    if theirs == "kernel/" and own != "kernel/" and not target.startswith(KERNEL_PUBLIC):
                        found.append(f"{own_path}: includes {target}, which belongs to the kernel alone")
    return found


def self_test():
    with tempfile.TemporaryDirectory() as temp:
        root = pathlib.Path(temp)
        (root / "README.md").write_text(
            "## Layout\n\n| folder | concern |\n|---|---|\n| app/ | a |\n| util/ | u |\n"
            "| kernel/ | k |\n\n## Next\n| tests/ | t |\n")
        for path, text in {
            "app/Main.cpp": '#include "util/Low.h"\n#include "kernel/include/Api.h"\n',
            "util/Low.h": '#include "app/Main.h"\n',
            "app/Main.h": "",
            "kernel/include/Api.h": "",
            "kernel/Inner.h": "",
            "tests/T.cpp": '#include "app/Main.h"\n',
            "util/Peek.cpp": '#include "kernel/Inner.h"\n',
        }.items():
            (root / path).parent.mkdir(parents=True, exist_ok=True)
            (root / path).write_text(text)
        got = faults(root)
        want = ["util/Low.h: includes app/Main.h, which lies above util/",
                "util/Peek.cpp: includes kernel/Inner.h, which belongs to the kernel alone"]
        if got != want:
            print("the check saw:", *got, "but should see:", *want, sep="\n  ")
            return 1
    print("the check sees an upward include and a kernel-internal one")
    return 0


def main():
    if sys.argv[1:] == ["--self-test"]:
        return self_test()
    found = faults(pathlib.Path(sys.argv[1]))
    for fault in found:
        print(fault)
    return 1 if found else 0


if __name__ == "__main__":
    sys.exit(main())
