#!/usr/bin/python3
"""A drive that lies, on demand: a FUSE file system that passes every
operation through to a real folder and fails the operations a test chooses.

    lying_drive.py BACKING MOUNT READY_FILE [--idle-minutes N]

It mounts BACKING at MOUNT, writes its process id to READY_FILE once it
serves requests, and runs until unmounted (fusermount -u MOUNT), or after N
idle minutes (default 15), so that a run cut short leaves nothing behind.

Control
-------
The file ".lying-drive" at the root of the drive (M:\\.lying-drive under
Wine) is the control channel; it is in no directory listing. Each write to it
holds one or more commands, one a line, and takes effect before the write
returns; a write with a command the drive does not understand changes
nothing and fails (EINVAL). Reading it gives the drive's counts.

    arm NAME FAULT ON [path=GLOB] [new] [nth=N] [after=BYTES] [times=N|forever]
                      [keep=BYTES] [ms=MILLISECONDS] [free]
        FAULT  enospc   the operation fails with ENOSPC ("disk full")
               eio      the operation fails with EIO
               short    a write writes fewer bytes than asked (keep=BYTES,
                        by default half of them, never none)
               delay    the operation waits ms=MILLISECONDS, then goes on
        ON     write    writes
               read     reads
               grow     writes and truncations that make a file longer
        path=GLOB  the files it applies to, matched without regard to case
                   against the path from the drive's root ("game/data.pak",
                   "*.pak"); "*", the default, is the whole drive
        new        only files created after the rule was armed
        nth=N      the first N-1 matching operations pass (default 1)
        after=BYTES  matching writes pass until BYTES bytes have gone to
                   matching files since arming; a write that crosses the
                   line is written up to it (a short write) and the fault
                   hits the writes after it, as a drive filling up does
        times=N    the rule fires N times (default 1), then disarms itself;
                   "forever" until disarmed
        free       (enospc) once the rule has fired, and until it is
                   disarmed, the drive reports no free space, as a full
                   drive does; before, it reports the backing folder's
        Arming a name again replaces its rule and its counts.
    disarm NAME     the rule fires no more; its counts stay readable
    disarm all
    reset           forgets every rule, count and created file

The counts read back are lines of words "key=value":

    drive writes=N written=BYTES reads=N read=BYTES truncates=N creates=N
    rule NAME fault=F on=O armed=0|1 seen=N fired=N

"seen" counts the operations that matched the rule while armed, "fired"
the faults it injected; a test asserts on "fired" that its fault happened.

For example: the drive fills once 4 MiB are written and reports itself
full; one read of game/data.pak fails; the new file game/readme.txt cannot
be extended (Wine extends a file by writing its new last byte, libtorrent
may also set its end):

    arm full enospc write after=4194304 times=forever free
    arm bad eio read path=game/data.pak
    arm cut enospc grow new path=game/readme.txt times=forever

The page cache
--------------
Only what reaches the drive can fail, and the kernel's page cache answers
many reads itself: the pages a write has just filled and those read before.
Files are opened without keep_cache, so every open of a file drops its
cached pages: the reads after the program opens a file again (libtorrent
does for the check after a resume) reach the drive, memory-mapped ones
included, as reads of whole pages; a mapped read that fails comes to a
Windows program under Wine as an exception (libtorrent copies from its
mappings under a handler for it).
A handle or mapping opened before the rule was armed may go on reading from
the cache. Writes are not cached (libfuse's default, write-through): each
reaches the drive before the program's write returns, and a failed one
leaves no page behind. The control file alone is opened direct_io, so that
its reads are never cached.
"""

import errno
import fnmatch
import os
import shlex
import subprocess
import sys
import threading
import time

from fusepy import FUSE, FuseOSError, Operations

CONTROL = "/.lying-drive"
CONTROL_HANDLE = 2**62  # no descriptor number is this large
FAULTS = ("enospc", "eio", "short", "delay")
ONS = ("write", "read", "grow")


class Rule:
    def __init__(self, name, fault, on, created_before):
        self.name = name
        self.fault = fault
        self.on = on
        self.glob = "*"
        self.new_only = False
        self.nth = 1
        self.after = None
        self.times = 1  # None: forever
        self.keep = None
        self.ms = 0
        self.free = False
        self.created_before = created_before  # creation number at arming
        self.armed = True
        self.seen = 0
        self.fired = 0
        self.bytes = 0  # written to matching files since arming

    def describe(self):
        return "rule %s fault=%s on=%s armed=%d seen=%d fired=%d" % (
            self.name, self.fault, self.on, int(self.armed), self.seen, self.fired)

    def room_left(self):
        return max(0, self.after - self.bytes)


def parse_count(value, what):
    try:
        number = int(value, 0)
    except ValueError:
        raise ValueError("%s is not a number: %r" % (what, value))
    if number < 0:
        raise ValueError("%s is negative" % what)
    return number


def parse_arm(words, created_before):
    if len(words) < 3:
        raise ValueError("arm NAME FAULT ON ...")
    name, fault, on = words[0], words[1], words[2]
    if fault not in FAULTS:
        raise ValueError("unknown fault %r" % fault)
    if on not in ONS:
        raise ValueError("unknown operation %r" % on)
    rule = Rule(name, fault, on, created_before)
    for word in words[3:]:
        key, _, value = word.partition("=")
        if key == "path" and value:
            rule.glob = value.lower().lstrip("/")
        elif key == "new" and not value:
            rule.new_only = True
        elif key == "free" and not value:
            rule.free = True
        elif key == "nth":
            rule.nth = parse_count(value, "nth")
            if rule.nth < 1:
                raise ValueError("nth counts from 1")
        elif key == "after":
            rule.after = parse_count(value, "after")
        elif key == "times":
            rule.times = None if value == "forever" else parse_count(value, "times")
        elif key == "keep":
            rule.keep = parse_count(value, "keep")
            if rule.keep < 1:
                raise ValueError("a short write keeps at least one byte")
        elif key == "ms":
            rule.ms = parse_count(value, "ms")
        else:
            raise ValueError("unknown option %r" % word)
    if rule.fault == "short" and rule.on == "read":
        raise ValueError("short applies to writes")
    if rule.after is not None and rule.on == "read":
        raise ValueError("after counts written bytes")
    if rule.free and rule.fault != "enospc":
        raise ValueError("free goes with enospc")
    return rule


class LyingDrive(Operations):
    use_ns = True

    def __init__(self, backing, mount, ready_file, idle_seconds):
        self.backing = os.path.realpath(backing)
        self.mount = mount
        self.ready_file = ready_file
        self.idle_seconds = idle_seconds
        self.mutex = threading.Lock()
        self.rules = {}  # name -> Rule, in arming order
        self.created = {}  # path -> creation number
        self.creations = 0
        self.counts = dict(writes=0, written=0, reads=0, read=0, truncates=0, creates=0)
        self.last_use = time.monotonic()

    # --- the rules ---------------------------------------------------------
    def control(self, text):
        commands = []
        for line in text.splitlines():
            words = shlex.split(line)
            if not words:
                continue
            verb, rest = words[0], words[1:]
            if verb == "arm":
                commands.append(("arm", parse_arm(rest, None)))
            elif verb == "disarm" and len(rest) == 1:
                if rest[0] != "all" and rest[0] not in self.rules:
                    raise ValueError("no rule %r" % rest[0])
                commands.append(("disarm", rest[0]))
            elif verb == "reset" and not rest:
                commands.append(("reset", None))
            else:
                raise ValueError("unknown command %r" % line)
        for verb, argument in commands:
            if verb == "arm":
                argument.created_before = self.creations
                self.rules.pop(argument.name, None)
                self.rules[argument.name] = argument
            elif verb == "disarm":
                for rule in self.rules.values():
                    if argument in ("all", rule.name):
                        rule.armed = False
            else:
                self.rules.clear()
                self.created.clear()
                for key in self.counts:
                    self.counts[key] = 0

    def report(self):
        with self.mutex:
            lines = ["drive " + " ".join("%s=%d" % item for item in self.counts.items())]
            lines += [rule.describe() for rule in self.rules.values()]
        return ("\n".join(lines) + "\n").encode()

    def matching(self, path, kinds):
        """The armed rules for an operation of `kinds` on `path`, in arming
        order. Called with the lock held."""
        relative = path.lower().lstrip("/")
        found = []
        for rule in self.rules.values():
            if not rule.armed or rule.on not in kinds:
                continue
            if not fnmatch.fnmatchcase(relative, rule.glob):
                continue
            if rule.new_only and self.created.get(path, -1) < rule.created_before:
                continue
            found.append(rule)
        return found

    @staticmethod
    def fire(rule):
        rule.fired += 1
        if rule.times is not None and rule.fired >= rule.times:
            rule.armed = False

    def decide(self, path, kinds, size):
        """What happens to an operation: (delay in seconds, errno or 0,
        bytes to write or None for all of them)."""
        delay, error, limit = 0.0, 0, None
        with self.mutex:
            for rule in self.matching(path, kinds):
                rule.seen += 1
                if rule.seen < rule.nth:
                    continue
                if rule.after is not None:
                    room = rule.room_left()
                    if size <= room:
                        rule.bytes += size
                        continue
                    if room > 0 and rule.fault == "enospc":
                        # The drive takes what fits; the writes after it fail.
                        rule.bytes += room
                        limit = room if limit is None else min(limit, room)
                        continue
                if rule.fault == "delay":
                    delay += rule.ms / 1000.0
                    self.fire(rule)
                    continue
                if error or limit is not None:
                    continue  # an earlier rule decided; this one does not fire
                if rule.fault == "short":
                    if size < 2:
                        continue  # a write of one byte cannot be cut short
                    keep = rule.keep if rule.keep is not None else size // 2
                    limit = max(1, min(keep, size - 1))
                else:
                    error = errno.ENOSPC if rule.fault == "enospc" else errno.EIO
                self.fire(rule)
        return delay, error, limit

    # --- helpers -----------------------------------------------------------
    def real(self, path):
        return os.path.join(self.backing, path.lstrip("/"))

    def touch(self):
        self.last_use = time.monotonic()

    @staticmethod
    def check(path):
        if path == CONTROL:
            raise FuseOSError(errno.EPERM)

    def watch_idle(self):
        while True:
            time.sleep(30)
            if time.monotonic() - self.last_use > self.idle_seconds:
                subprocess.run(["fusermount", "-u", "-z", self.mount], check=False)
                os._exit(0)

    # --- file system -------------------------------------------------------
    def init(self, path):
        threading.Thread(target=self.watch_idle, daemon=True).start()
        with open(self.ready_file + ".part", "w") as ready:
            ready.write("%d\n" % os.getpid())
        os.rename(self.ready_file + ".part", self.ready_file)

    def getattr(self, path, fh=None):
        self.touch()
        if path == CONTROL:
            now = time.time_ns()
            return dict(st_mode=0o100666, st_nlink=1, st_size=len(self.report()),
                        st_uid=os.getuid(), st_gid=os.getgid(),
                        st_atime=now, st_mtime=now, st_ctime=now)
        st = os.lstat(self.real(path))
        attrs = {key: getattr(st, key) for key in (
            "st_mode", "st_nlink", "st_size", "st_uid", "st_gid", "st_ino", "st_blocks", "st_blksize")}
        attrs.update(st_atime=st.st_atime_ns, st_mtime=st.st_mtime_ns, st_ctime=st.st_ctime_ns)
        return attrs

    def access(self, path, amode):
        if path != CONTROL and not os.access(self.real(path), amode):
            raise FuseOSError(errno.EACCES)

    def readdir(self, path, fh):
        self.touch()
        return [".", ".."] + os.listdir(self.real(path))

    def readlink(self, path):
        return os.readlink(self.real(path))

    def mknod(self, path, mode, dev):
        self.check(path)
        os.mknod(self.real(path), mode, dev)
        self.note_created(path)

    def mkdir(self, path, mode):
        self.check(path)
        os.mkdir(self.real(path), mode)

    def rmdir(self, path):
        os.rmdir(self.real(path))

    def unlink(self, path):
        self.check(path)
        os.unlink(self.real(path))
        with self.mutex:
            self.created.pop(path, None)

    def symlink(self, target, source):
        self.check(target)
        os.symlink(source, self.real(target))

    def link(self, target, source):
        self.check(target)
        os.link(self.real(source), self.real(target))

    def rename(self, old, new):
        self.check(old)
        self.check(new)
        os.rename(self.real(old), self.real(new))
        with self.mutex:
            # A folder's files move with it.
            moved = {key: value for key, value in self.created.items()
                     if key == old or key.startswith(old + "/")}
            for key, value in moved.items():
                del self.created[key]
                self.created[new + key[len(old):]] = value

    def chmod(self, path, mode):
        if path != CONTROL:
            os.chmod(self.real(path), mode)

    def chown(self, path, uid, gid):
        if path != CONTROL:
            os.chown(self.real(path), uid, gid)

    def utimens(self, path, times=None):
        if path != CONTROL:
            os.utime(self.real(path), ns=times) if times else os.utime(self.real(path))

    def statfs(self, path):
        st = os.statvfs(self.backing)
        attrs = {key: getattr(st, key) for key in (
            "f_bsize", "f_frsize", "f_blocks", "f_bfree", "f_bavail", "f_files", "f_ffree", "f_favail",
            "f_flag", "f_namemax")}
        with self.mutex:
            if any(rule.armed and rule.free and rule.fired for rule in self.rules.values()):
                attrs["f_bavail"] = attrs["f_bfree"] = 0
        return attrs

    def getxattr(self, path, name, position=0):
        if path == CONTROL:
            raise FuseOSError(errno.ENODATA)
        return os.getxattr(self.real(path), name, follow_symlinks=False)

    def listxattr(self, path):
        return [] if path == CONTROL else os.listxattr(self.real(path), follow_symlinks=False)

    def setxattr(self, path, name, value, options, position=0):
        self.check(path)
        os.setxattr(self.real(path), name, value, options, follow_symlinks=False)

    def removexattr(self, path, name):
        self.check(path)
        os.removexattr(self.real(path), name, follow_symlinks=False)

    # --- files -------------------------------------------------------------
    def note_created(self, path):
        with self.mutex:
            self.creations += 1
            self.created[path] = self.creations
            self.counts["creates"] += 1

    def open(self, path, fi):
        self.touch()
        if path == CONTROL:
            fi.fh = CONTROL_HANDLE
            fi.direct_io = 1
            return 0
        fi.fh = os.open(self.real(path), fi.flags & ~os.O_DIRECT)
        fi.keep_cache = 0
        return 0

    def create(self, path, mode, fi):
        self.touch()
        self.check(path)
        fi.fh = os.open(self.real(path), (fi.flags & ~os.O_DIRECT) | os.O_CREAT, mode)
        fi.keep_cache = 0
        self.note_created(path)
        return 0

    def read(self, path, size, offset, fi):
        self.touch()
        if fi.fh == CONTROL_HANDLE:
            return self.report()[offset:offset + size]
        delay, error, _ = self.decide(path, ("read",), size)
        if delay:
            time.sleep(delay)
        if error:
            raise FuseOSError(error)
        data = os.pread(fi.fh, size, offset)
        with self.mutex:
            self.counts["reads"] += 1
            self.counts["read"] += len(data)
        return data

    def write(self, path, data, offset, fi):
        self.touch()
        if fi.fh == CONTROL_HANDLE:
            try:
                with self.mutex:
                    self.control(data.decode("utf-8"))
            except (ValueError, UnicodeDecodeError) as refused:
                print("lying drive: refused %r: %s" % (data, refused), file=sys.stderr, flush=True)
                raise FuseOSError(errno.EINVAL)
            return len(data)
        kinds = ("write", "grow") if offset + len(data) > os.fstat(fi.fh).st_size else ("write",)
        delay, error, limit = self.decide(path, kinds, len(data))
        if delay:
            time.sleep(delay)
        if error:
            raise FuseOSError(error)
        if limit is not None:
            data = data[:limit]
        written = os.pwrite(fi.fh, data, offset)
        with self.mutex:
            self.counts["writes"] += 1
            self.counts["written"] += written
        return written

    def truncate(self, path, length, fi=None):
        self.touch()
        if path == CONTROL:
            return 0
        real = self.real(path)
        if fi is not None and fi.fh != CONTROL_HANDLE:
            size = os.fstat(fi.fh).st_size
        else:
            size = os.lstat(real).st_size
        if length > size:
            delay, error, _ = self.decide(path, ("grow",), length - size)
            if delay:
                time.sleep(delay)
            if error:
                raise FuseOSError(error)
        if fi is not None and fi.fh != CONTROL_HANDLE:
            os.ftruncate(fi.fh, length)
        else:
            os.truncate(real, length)
        with self.mutex:
            self.counts["truncates"] += 1

    def flush(self, path, fi):
        return 0

    def fsync(self, path, datasync, fi):
        if fi.fh != CONTROL_HANDLE:
            (os.fdatasync if datasync else os.fsync)(fi.fh)

    def release(self, path, fi):
        if fi.fh != CONTROL_HANDLE:
            os.close(fi.fh)


def main():
    args = sys.argv[1:]
    idle_minutes = 15
    if "--idle-minutes" in args:
        at = args.index("--idle-minutes")
        idle_minutes = float(args[at + 1])
        del args[at:at + 2]
    if len(args) != 3:
        print(__doc__.split("\n\n")[1], file=sys.stderr)
        return 2
    backing, mount, ready_file = args
    drive = LyingDrive(backing, mount, ready_file, idle_minutes * 60)
    # big_writes: writes come in pieces of up to 128 KiB, not of one page.
    # use_ino: files keep the backing folder's inode numbers, which Wine
    # takes for a file's identity.
    FUSE(drive, mount, raw_fi=True, foreground=True, big_writes=True, use_ino=True,
         fsname="lying-drive", subtype="lying-drive")
    return 0


if __name__ == "__main__":
    sys.exit(main())
