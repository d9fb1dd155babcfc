#!/usr/bin/python3
"""The floor under every client of the program benchmark: the least work a
download of a torrent's content takes on this machine, without a network.
Reads the content piece by piece in the torrent's file order, hashes each
piece with SHA-1 (Python's hashlib, which is OpenSSL's SHA-1), compares it
with the torrent's piece hash and, for a download, writes it out.

    floor.py download TORRENT FROM_FOLDER TO_FOLDER   read, hash, write
    floor.py check TORRENT FOLDER                      read and hash

FOLDER is the folder holding the torrent's root folder. Prints
"done SECONDS BYTES" and exits 0 when every piece matched, or
"failed SECONDS PIECE" and 2 at the first piece that did not.
"""
import hashlib
import os
import sys
import time

import libtorrent as lt


class ContentFiles:
    """The torrent's files as one stream of bytes, read or written in place.
    Pad files (tools/publish aligns every file to a piece with them) are on
    no disk: they read as zeros and take no writes, as in every client."""

    def __init__(self, files, folder, mode):
        self.entries = []
        for index in range(files.num_files()):
            if files.file_flags(index) & lt.file_storage.flag_pad_file:
                self.entries.append([None, files.file_size(index)])
                continue
            path = os.path.join(folder, files.file_path(index))
            if mode == "wb":
                os.makedirs(os.path.dirname(path), exist_ok=True)
            self.entries.append([open(path, mode), files.file_size(index)])
        self.current = 0

    def transfer(self, view, write):
        """Reads into, or writes from, `view` across file ends."""
        done = 0
        while done < len(view):
            handle, left = self.entries[self.current]
            step = min(left, len(view) - done)
            if handle is None:
                if not write:
                    view[done:done + step] = bytes(step)
            elif write:
                handle.write(view[done:done + step])
            elif handle.readinto(view[done:done + step]) != step:
                raise OSError("the file %s is short" % handle.name)
            done += step
            self.entries[self.current][1] -= step
            if self.entries[self.current][1] == 0 and self.current + 1 < len(self.entries):
                self.current += 1

    def close(self):
        for handle, _ in self.entries:
            if handle is not None:
                handle.close()


def run(torrent_path, source, target):
    info = lt.torrent_info(torrent_path)
    files = info.files()
    started = time.monotonic()
    reader = ContentFiles(files, source, "rb")
    writer = ContentFiles(files, target, "wb") if target else None
    buffer = bytearray(info.piece_length())
    try:
        for piece in range(info.num_pieces()):
            view = memoryview(buffer)[:info.piece_size(piece)]
            reader.transfer(view, write=False)
            if hashlib.sha1(view).digest() != info.hash_for_piece(piece):
                print("failed %.3f %d" % (time.monotonic() - started, piece), flush=True)
                return 2
            if writer:
                writer.transfer(view, write=True)
    finally:
        reader.close()
        if writer:
            writer.close()
    print("done %.3f %d" % (time.monotonic() - started, info.total_size()), flush=True)
    return 0


def main(argv):
    if len(argv) == 5 and argv[1] == "download":
        return run(argv[2], argv[3], argv[4])
    if len(argv) == 4 and argv[1] == "check":
        return run(argv[2], argv[3], None)
    sys.exit(__doc__)


if __name__ == "__main__":
    sys.exit(main(sys.argv))
