#!/usr/bin/python3
"""A local swarm (tests/swarm/swarm.py) seeding one game whose program is a
real one the project builds, for the end-to-end test and the demo.

    game_swarm.py start DIR GAME_EXE [SIZE_MB] [--corrupt-copy]
                         make the game (once per game program and size) and
                         start tracker, seeder and HTTP seed; DIR/swarm.json
                         tells ports and names. With --corrupt-copy the
                         second HTTP seed serves the game with bytes flipped
                         in every piece
    game_swarm.py stop DIR

The game is "KorvaneGame": bin/game.exe (GAME_EXE) and data files of
deterministic bytes, SIZE_MB in all (default: a small game of a few MB).
"""
import hashlib
import json
import os
import random
import shutil
import subprocess
import sys

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "swarm"))
import swarm  # noqa: E402

CHUNK = 1 << 20
PUBLISH = os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "..", "tools", "publish")


def game_layout(size_mb):
    """(relative path, size) of the data files: a few packs and a readme."""
    if size_mb is None:
        return [("data/pack1.dat", 2_500_000), ("data/pack2.dat", 1_300_123), ("readme.txt", 1_234)]
    total = size_mb * CHUNK
    return [("data/pack1.dat", total // 2 + 12_345), ("data/pack2.dat", total // 3 - 777),
            ("data/music/theme.ogg", total - total // 2 - total // 3 - 11_568), ("readme.txt", 1_234)]


def write_game(base, game_exe, size_mb):
    """The seed's copy of the game, written in chunks so a large one fits in memory."""
    root = os.path.join(base, "seed", "KorvaneGame")
    shutil.rmtree(root, ignore_errors=True)  # nothing left of another size
    os.makedirs(os.path.join(root, "bin"), exist_ok=True)
    with open(game_exe, "rb") as f, open(os.path.join(root, "bin", "game.exe"), "wb") as out:
        out.write(f.read())
    rng = random.Random(9)
    for path, size in game_layout(size_mb):
        target = os.path.join(root, path)
        os.makedirs(os.path.dirname(target), exist_ok=True)
        with open(target, "wb") as out:
            left = size
            while left:
                step = min(left, CHUNK)
                out.write(rng.randbytes(step))
                left -= step
    return [os.path.join("KorvaneGame", "bin", "game.exe")] + \
        [os.path.join("KorvaneGame", p) for p, _ in game_layout(size_mb)]


def make_content(base, game_exe, size_mb):
    """The game's torrent, made by the publishing tool as a publisher makes
    it. The swarm's addresses are known only once it runs, and its tests
    describe the game themselves, so only the torrent is taken."""
    files = write_game(base, game_exe, size_mb)
    published = os.path.join(base, "published")
    shutil.rmtree(published, ignore_errors=True)
    subprocess.run([sys.executable, PUBLISH, os.path.join(base, "seed", "KorvaneGame"), "--program", "bin/game.exe",
                    "--version", "1.0.0", "--out", published, "--http-seed", "http://127.0.0.1/",
                    "--tracker", "http://127.0.0.1/announce"], check=True, stdout=subprocess.DEVNULL)
    torrent_path = os.path.join(base, "game.torrent")
    shutil.copyfile(os.path.join(published, "www", "qorn", "QornClient", "KorvaneGame-1.0.0.torrent"), torrent_path)
    info = swarm.lt.torrent_info(torrent_path)
    return {"game": {"torrent": torrent_path, "infohash": str(info.info_hashes().v1),
                     "root": "KorvaneGame", "files": files, "size": game_size(base, files)}}


def game_size(base, files):
    """The bytes of the game's own files: the pad files that align them to
    pieces are never sent."""
    return sum(os.path.getsize(os.path.join(base, "seed", path)) for path in files)


def game_key(game_exe, size_mb):
    """What the game is made from: a change of any of it makes it anew."""
    with open(game_exe, "rb") as f, open(PUBLISH, "rb") as tool:
        return hashlib.sha1(f.read() + tool.read() + str(size_mb).encode()).hexdigest()


def start(base, game_exe, size_mb, corrupt_copy=False):
    base = os.path.abspath(base)
    swarm.stop(base)
    os.makedirs(base, exist_ok=True)
    key_path = os.path.join(base, "game.key")
    key = game_key(game_exe, size_mb)
    old_key = open(key_path).read() if os.path.exists(key_path) else ""
    content = os.path.join(base, "content.json")
    if old_key != key or not os.path.exists(content):
        with open(content + ".tmp", "w") as f:
            json.dump(make_content(base, game_exe, size_mb), f)
        os.replace(content + ".tmp", content)
        with open(key_path, "w") as f:
            f.write(key)
    # The swarm's second HTTP seed serves a damaged copy, when asked for.
    shutil.rmtree(os.path.join(base, "seed-corrupt"), ignore_errors=True)
    if corrupt_copy:
        swarm.make_corrupt_copy(base)
    else:
        os.makedirs(os.path.join(base, "seed-corrupt"), exist_ok=True)
    swarm.start(base)


if __name__ == "__main__":
    if len(sys.argv) >= 4 and sys.argv[1] == "start":
        corrupt = "--corrupt-copy" in sys.argv[4:]
        sizes = [a for a in sys.argv[4:] if a != "--corrupt-copy"]
        start(sys.argv[2], sys.argv[3], int(sizes[0]) if sizes else None, corrupt)
    elif len(sys.argv) == 3 and sys.argv[1] == "stop":
        swarm.stop(sys.argv[2])
    else:
        sys.exit(__doc__)
