#!/usr/bin/env python3
"""Runs a Windows program under Wine with the debug channels that show what
Wine forgives and Windows does not, and fails on what they show.

  wine_strict.py [--expect-findings] LOG -- WINE_COMMAND...

- A GDI object deleted while still selected into a DC: Wine defers the
  deletion, Windows refuses it and the object leaks. Only deletions called
  from our own modules count; Wine's own libraries (its gdiplus draws this
  way) are not ours to mend.
- Any error or warning of Wine's heap checking: a double free, a write past
  a block, a bad pointer handed to the heap.

The program's own exit code must be 0. With --expect-findings the program
is a probe that commits one such fault on purpose, and the run fails when
none is seen. The channels' output, of every process the program starts,
goes to LOG.
"""

import bisect
import os
import re
import subprocess
import sys

CHANNELS = "warn+heap,trace+gdi,+relay,+loaddll"

DEFERRED = re.compile(r"^([0-9a-f]+):trace:gdi:NtGdiDeleteObjectApp delayed for 0x([0-9a-f]+) because object in use")
DELETE_CALL = re.compile(r"^([0-9a-f]+):Call gdi32\.DeleteObject\(0*([0-9a-f]+)\) ret=([0-9a-f]+)")
LOADED = re.compile(r':trace:loaddll:\w+ Loaded L"(.*)" at ([0-9A-Fa-f]+): (builtin|native)')
HEAP = re.compile(r"^[0-9a-f]+:(err|warn):heap:")


def findings(log_path):
    modules = []  # (base, name, builtin)
    last_delete = {}  # thread -> (handle, caller)
    found = []
    with open(log_path, encoding="utf-8", errors="replace") as log:
        for line in log:
            line = line.rstrip("\n")
            loaded = LOADED.search(line)
            if loaded:
                modules.append((int(loaded.group(2), 16), loaded.group(1), loaded.group(3) == "builtin"))
                continue
            call = DELETE_CALL.match(line)
            if call:
                last_delete[call.group(1)] = (call.group(2), int(call.group(3), 16))
                continue
            deferred = DEFERRED.match(line)
            if deferred:
                handle, caller = last_delete.get(deferred.group(1), (None, None))
                found.append(("gdi", line, caller if handle == deferred.group(2) else None))
                continue
            if HEAP.match(line):
                found.append(("heap", line, None))
    modules.sort()
    bases = [module[0] for module in modules]

    def owner(address):
        index = bisect.bisect_right(bases, address) - 1
        return modules[index] if index >= 0 else None

    ours = []
    for kind, line, caller in found:
        if kind == "gdi" and caller is not None:
            module = owner(caller)
            if module and module[2]:
                continue  # Wine's own library
            line += "  (deleted from %s)" % (module[1] if module else hex(caller))
        ours.append(line)
    return ours


def main():
    args = sys.argv[1:]
    expect = args and args[0] == "--expect-findings"
    if expect:
        args = args[1:]
    if len(args) < 3 or args[1] != "--":
        sys.exit(__doc__)
    log_path, command = args[0], args[2:]
    os.makedirs(os.path.dirname(os.path.abspath(log_path)), exist_ok=True)
    environment = dict(os.environ, WINEDEBUG=CHANNELS)
    with open(log_path, "w") as log:
        code = subprocess.call(command, env=environment, stderr=log)
    ours = findings(log_path)
    for line in ours[:20]:
        print(line)
    print("%d finding(s); the channels' output is in %s" % (len(ours), log_path))
    if code != 0:
        print("the program ended with %d" % code)
        return 1
    return 0 if bool(ours) == bool(expect) else 1


if __name__ == "__main__":
    sys.exit(main())
