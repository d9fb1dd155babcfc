#!/usr/bin/python3
"""tools/publish as a publisher meets it: what it refuses, and the text of
a description whose version is Chinese. Downloads of what it publishes, and
an update, are tested end to end (tests/e2e/UpdateTest.cpp)."""
import json
import os
import subprocess
import sys
import tempfile
import unittest

import libtorrent as lt

TOOL = os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "..", "tools", "publish")


def publish(game, program, version, out):
    return subprocess.run([sys.executable, TOOL, game, "--program", program, "--version", version, "--out", out,
                           "--http-seed", "http://127.0.0.1:8701/seed/",
                           "--tracker", "http://127.0.0.1:6969/announce|udp://127.0.0.1:6969"],
                          capture_output=True, text=True)


def write(path, data):
    os.makedirs(os.path.dirname(path), exist_ok=True)
    with open(path, "wb") as f:
        f.write(data)


class PublishTest(unittest.TestCase):
    def setUp(self):
        self.folder = tempfile.TemporaryDirectory()
        self.game = os.path.join(self.folder.name, "游戏")
        write(os.path.join(self.game, "bin", "game.exe"), b"MZ" + bytes(70_000))
        write(os.path.join(self.game, "data", "pack.dat"), os.urandom(300_001))
        write(os.path.join(self.game, "readme.txt"), b"hello")
        self.out = os.path.join(self.folder.name, "out")

    def tearDown(self):
        self.folder.cleanup()

    def test_refuses_what_a_player_could_not_run_and_writes_nothing(self):
        outside = os.path.join(self.folder.name, "outside.exe")
        write(outside, b"MZ")
        for program, why in [("/bin/sh", "absolute"), ("C:\\game.exe", "absolute"), ("../outside.exe", "not inside"),
                             ("bin/../../outside.exe", "not inside"), ("bin/missing.exe", "not a file"),
                             ("data", "not a file"), ("bin/aux.exe", "device name")]:
            with self.subTest(program=program):
                result = publish(self.game, program, "1.0", self.out)
                self.assertEqual(result.returncode, 2, result.stderr)
                self.assertIn(why, result.stderr)
                self.assertFalse(os.path.exists(self.out))
        write(os.path.join(self.game, "data", "CON.pak"), b"x")
        write(os.path.join(self.game, "data", "naïve\u0101.txt"), b"x")
        result = publish(self.game, "bin/game.exe", "1.0", self.out)
        self.assertEqual(result.returncode, 2)
        self.assertIn("data/CON.pak is a device name", result.stderr)
        self.assertIn("outside code page 936", result.stderr)
        self.assertEqual(publish(self.game, "bin/game.exe", "版本\u0101", self.out).returncode, 2)

    def test_a_chinese_version_is_written_in_code_page_936_and_every_file_starts_a_piece(self):
        result = publish(self.game, "bin/game.exe", "正式版1.0", self.out)
        self.assertEqual(result.returncode, 0, result.stderr)
        folder = os.path.join(self.out, "www", "qorn", "QornClient")
        with open(os.path.join(folder, "server.cfg"), "rb") as f:
            described = json.loads(f.read().decode("gbk"))
        self.assertEqual(described["ver"], "正式版1.0")
        self.assertEqual(described["mainExe"], "bin\\game.exe")
        self.assertEqual(described["trackers"], ["http://127.0.0.1:6969/announce|udp://127.0.0.1:6969"])
        self.assertEqual(described["httpSeed"], ["http://127.0.0.1:8701/seed/%E6%AD%A3%E5%BC%8F%E7%89%881.0/"])
        name = "游戏-正式版1.0.torrent"
        self.assertTrue(described["torrentUrl"].endswith("/qorn/QornClient/" + "%E6%B8%B8%E6%88%8F-"
                                                         "%E6%AD%A3%E5%BC%8F%E7%89%881.0.torrent"))
        info = lt.torrent_info(os.path.join(folder, name))
        files = info.files()
        real = [i for i in range(files.num_files()) if not files.file_flags(i) & files.flag_pad_file]
        self.assertEqual(len(real), 3)
        self.assertTrue(all(files.file_offset(i) % info.piece_length() == 0 for i in real))
        seed = os.path.join(self.out, "seed", "正式版1.0", "游戏")
        self.assertEqual(os.path.realpath(seed), os.path.realpath(self.game))

    def test_a_signed_version_verifies_with_the_printed_key_and_an_unsigned_one_drops_old_signatures(self):
        key = os.path.join(self.folder.name, "publisher.pem")
        made = subprocess.run([sys.executable, TOOL, "--make-key", key], capture_output=True, text=True)
        self.assertEqual(made.returncode, 0, made.stderr)
        printed = made.stdout.split('KORVANE_PUBLISHER_KEY "')[1][:64]
        public_der = subprocess.run(["openssl", "pkey", "-in", key, "-pubout", "-outform", "DER"],
                                    capture_output=True, check=True).stdout
        self.assertEqual(printed, public_der[-32:].hex())
        self.assertEqual(subprocess.run([sys.executable, TOOL, "--make-key", key], capture_output=True).returncode, 2)

        signed = subprocess.run([sys.executable, TOOL, self.game, "--program", "bin/game.exe", "--version", "1.0",
                                 "--out", self.out, "--http-seed", "http://h/", "--tracker", "http://t/",
                                 "--sign-key", key], capture_output=True, text=True)
        self.assertEqual(signed.returncode, 0, signed.stderr)
        folder = os.path.join(self.out, "www", "qorn", "QornClient")
        public = os.path.join(self.folder.name, "public.pem")
        subprocess.run(["openssl", "pkey", "-in", key, "-pubout", "-out", public], check=True)
        for name in ("server.cfg", "游戏-1.0.torrent"):
            path = os.path.join(folder, name)
            verified = subprocess.run(["openssl", "pkeyutl", "-verify", "-pubin", "-inkey", public, "-rawin",
                                       "-in", path, "-sigfile", path + ".sig"], capture_output=True)
            self.assertEqual(verified.returncode, 0, name)

        self.assertEqual(publish(self.game, "bin/game.exe", "1.0", self.out).returncode, 0)
        self.assertFalse(os.path.exists(os.path.join(folder, "server.cfg.sig")))


if __name__ == "__main__":
    unittest.main()
