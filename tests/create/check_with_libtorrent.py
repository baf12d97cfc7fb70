#!/usr/bin/python3
"""Torrents made by quorvane-cli create, checked by libtorrent and hashlib.

Usage: check_with_libtorrent.py QUORVANE_CLI
"""
import hashlib
import math
import os
import random
import signal
import subprocess
import sys
import tempfile
import time
import unittest
import warnings

import libtorrent as lt

warnings.simplefilter("ignore", DeprecationWarning)
CLI = None


def run(*args, cwd=None, check=None, env=None):
    p = subprocess.run([CLI, "create", *args], cwd=cwd, capture_output=True, timeout=300, env=env,
                       stdin=subprocess.DEVNULL)
    if check is not None and p.returncode != check:
        raise AssertionError("exit %d, expected %d\nstdout: %r\nstderr: %r" % (p.returncode, check, p.stdout, p.stderr))
    return p


def write(path, data):
    os.makedirs(os.path.dirname(path), exist_ok=True)
    with open(path, "wb") as f:
        f.write(data)


def read(path):
    with open(path, "rb") as f:
        return f.read()


def walk(folder, keep_thumbs=False, rel=()):
    """The folder's files as the program takes them: byte order, depth-first."""
    out = []
    for name in sorted(os.listdir(os.fsencode(folder))):
        full = os.path.join(os.fsencode(folder), name)
        if os.path.isdir(full):
            out += walk(full, keep_thumbs, rel + (name,))
        elif os.path.isfile(full):
            if not keep_thumbs and name.lower() == b"thumbs.db":
                continue
            out.append((rel + (name,), full))
    return out


class CreateChecks(unittest.TestCase):
    def setUp(self):
        self.tmp = tempfile.TemporaryDirectory(prefix="quorvane-lt-")
        self.dir = self.tmp.name
        self.rng = random.Random(1234)

    def tearDown(self):
        self.tmp.cleanup()

    def data(self, n):
        return self.rng.randbytes(n)

    def created(self, proc):
        """(info hash, path) of each torrent the command printed."""
        lines = proc.stdout.decode().splitlines()
        return [tuple(line.split("  ", 1)) for line in lines]

    def check_torrent(self, torrent, files, piece_length=None, multi=True, printed_hash=None):
        """files: [(path components as bytes, full path on disk)], in torrent order."""
        ti = lt.torrent_info(torrent)
        fs = ti.files()
        self.assertEqual(fs.num_files(), len(files))
        name = ti.name()
        for i, (components, full) in enumerate(files):
            expected = os.path.join(name, *[c.decode() for c in components]) if multi else name
            self.assertEqual(fs.file_path(i), expected)
            self.assertEqual(fs.file_size(i), os.path.getsize(full))
        if piece_length:
            self.assertEqual(ti.piece_length(), piece_length)
        stream = b"".join(read(full) for _, full in files)
        self.assertEqual(ti.total_size(), len(stream))
        L = ti.piece_length()
        self.assertEqual(ti.num_pieces(), max(1, math.ceil(len(stream) / L)))
        for k in range(ti.num_pieces()):
            self.assertEqual(bytes(ti.hash_for_piece(k)), hashlib.sha1(stream[k * L:(k + 1) * L]).digest(),
                             "piece %d" % k)
        if printed_hash is not None:
            self.assertEqual(printed_hash, str(ti.info_hash()))
        return ti

    def test_pieces_match_mktorrent(self):
        """Every mode, every piece length, an odd number of pieces with a short last one, 1 and 2 threads."""
        big = 16 << 20
        top = os.path.join(self.dir, "set")
        # 2 x 16 MiB + a bit: at every piece length an odd count of pieces, the last one short.
        sizes = {"a.bin": big - 1000, "b.bin": 1, "c/d.bin": big // 3, "c/e.bin": 0,
                 "c/f.bin": big - big // 3 + 1000 - 1 + 12345}
        for name, size in sizes.items():
            write(os.path.join(top, name), self.data(size))
        single = os.path.join(self.dir, "single.bin")
        write(single, self.data(2 * big + 12345))
        each_out = os.path.join(self.dir, "each")
        os.makedirs(each_out)

        def pieces(torrent):
            ti = lt.torrent_info(torrent)
            fs = ti.files()
            return ([(fs.file_path(i), fs.file_size(i)) for i in range(fs.num_files())],
                    [bytes(ti.hash_for_piece(k)) for k in range(ti.num_pieces())])

        def mktorrent(path, log2):
            out = os.path.join(self.dir, "mk.torrent")
            if os.path.exists(out):
                os.remove(out)
            subprocess.run(["mktorrent", "-l", str(log2), "-o", out, path], check=True, capture_output=True)
            return pieces(out)

        for log2, option in zip(range(17, 25), ["128k", "256k", "512k", "1m", "2m", "4m", "8m", "16m"]):
            L = 1 << log2
            expected = {"single": mktorrent(single, log2), "folder": mktorrent(top, log2),
                        "c": mktorrent(os.path.join(top, "c"), log2)}
            self.assertEqual(len(expected["single"][1]) % 2, 1)
            self.assertEqual(len(expected["folder"][1]) % 2, 1)
            for threads in ("1", "2"):
                with self.subTest(piece_length=option, threads=threads):
                    common = ["-q", "-f", "-l", option, "-t", threads]
                    out = os.path.join(self.dir, "q.torrent")
                    run(*common, "-o", out, single, check=0)
                    self.assertEqual(pieces(out), expected["single"])
                    self.check_torrent(out, [((b"single.bin",), single)], L, multi=False)
                    run(*common, "-o", out, top, check=0)
                    self.assertEqual(pieces(out), expected["folder"])
                    self.check_torrent(out, walk(top), L)
                    # Several files of one folder: the files of c, in name order.
                    c = os.path.join(top, "c")
                    run(*common, "-o", out, *[os.path.join(c, n) for n in ("f.bin", "d.bin", "e.bin")], check=0)
                    self.assertEqual(pieces(out), expected["c"])
                    run(*common, "--each", each_out, top, check=0)
                    self.assertEqual(pieces(os.path.join(each_out, "c.torrent")), expected["c"])
                    self.assertEqual(pieces(os.path.join(each_out, "a.bin.torrent")),
                                     mktorrent(os.path.join(top, "a.bin"), log2))

    def test_single_file(self):
        src = os.path.join(self.dir, "movie.avi")
        write(src, self.data(1_000_001))
        p = run("-a", "http://tracker.example/announce", "-c", "line one\r\nline two", "-q", src, check=0)
        [(h, out)] = self.created(p)
        self.assertEqual(out, src + ".torrent")
        ti = self.check_torrent(out, [((b"movie.avi",), src)], 262144, multi=False, printed_hash=h)
        self.assertEqual(ti.name(), "movie.avi")
        self.assertEqual(ti.comment(), "line one\r\nline two")
        self.assertEqual([t.url for t in ti.trackers()], ["http://tracker.example/announce"])

    def test_folder_tree(self):
        top = os.path.join(self.dir, "Album")
        L = 131072
        write(os.path.join(top, "b.txt"), self.data(L + 100))
        write(os.path.join(top, "A.txt"), self.data(3 * L))
        write(os.path.join(top, "a", "x.bin"), self.data(L - 1))
        write(os.path.join(top, "a", "empty"), b"")
        write(os.path.join(top, "a", "deep", "z"), self.data(5))
        write(os.path.join(top, "Thumbs.DB"), self.data(77))
        write(os.path.join(top, ".hidden"), self.data(L))
        os.makedirs(os.path.join(top, "nothing", "here"))
        for keep in (False, True):
            with self.subTest(keep_thumbs=keep):
                out = os.path.join(self.dir, "album-%d.torrent" % keep)
                args = ["-l", "128k", "-b", "http://b1/announce", "-b", "http://b2/announce", "-o", out, top]
                if keep:
                    args.insert(0, "--keep-thumbs")
                [(h, printed)] = self.created(run(*args, check=0))
                self.assertEqual(printed, out)
                ti = self.check_torrent(out, walk(top, keep), L, printed_hash=h)
                self.assertEqual(ti.name(), "Album")
                self.assertEqual([t.url for t in ti.trackers()], ["http://b1/announce", "http://b2/announce"])

    def test_piece_lengths(self):
        src = os.path.join(self.dir, "f")
        write(src, self.data(5_000_000))
        for option, expected in [("auto", 262144), ("128k", 131072), ("1m", 1048576), ("16m", 16777216),
                                 ("524288", 524288)]:
            with self.subTest(option=option):
                out = os.path.join(self.dir, option + ".torrent")
                run("-l", option, "-o", out, src, check=0)
                self.check_torrent(out, [((b"f",), src)], expected, multi=False)

    def test_several_files_of_one_folder(self):
        folder = os.path.join(self.dir, "Pics")
        names = ["b.jpg", "A.jpg", "c.JPG", "thumbs.db"]
        for n in names:
            write(os.path.join(folder, n), self.data(self.rng.randrange(1, 400_000)))
        write(os.path.join(folder, "unselected"), b"not in the torrent")
        p = run(*[os.path.join(folder, n) for n in names], check=0)
        [(h, out)] = self.created(p)
        self.assertEqual(out, folder + ".torrent")
        # In byte order, as a folder's files; thumbs.db skipped.
        files = [((n.encode(),), os.path.join(folder, n)) for n in ["A.jpg", "b.jpg", "c.JPG"]]
        ti = self.check_torrent(out, files, printed_hash=h)
        self.assertEqual(ti.name(), "Pics")

    def test_one_per_entry(self):
        src = os.path.join(self.dir, "src")
        write(os.path.join(src, "one"), self.data(300_000))
        write(os.path.join(src, "Thumbs.db"), self.data(10))
        write(os.path.join(src, "sub", "x"), self.data(200_000))
        write(os.path.join(src, "sub", "y"), self.data(1))
        dest = os.path.join(self.dir, "out")
        os.makedirs(dest)
        # thumbs.db is left out at the top as in the folders below, unless kept.
        p = run("--each", dest, src, check=0)
        self.assertEqual(sorted(os.listdir(dest)), ["one.torrent", "sub.torrent"])
        self.assertEqual(len(self.created(p)), 2)
        self.check_torrent(os.path.join(dest, "one.torrent"), [((b"one",), os.path.join(src, "one"))], multi=False)
        self.check_torrent(os.path.join(dest, "sub.torrent"), walk(os.path.join(src, "sub")))
        p = run("--each", dest, src, "--keep-thumbs", "-f", check=0)
        self.assertEqual(len(self.created(p)), 3)
        self.check_torrent(os.path.join(dest, "Thumbs.db.torrent"), [((b"Thumbs.db",), os.path.join(src, "Thumbs.db"))],
                           multi=False)
        # Again without --force: refused before anything is hashed.
        p = run("--each", dest, src, check=1)
        self.assertIn(b"--force", p.stderr)
        run("--each", dest, src, "-f", check=0)

    def test_existing_output_needs_force(self):
        src = os.path.join(self.dir, "f")
        write(src, self.data(1000))
        write(src + ".torrent", b"precious")
        p = run(src, check=1)
        self.assertIn(b"--force", p.stderr)
        self.assertEqual(len(p.stderr.strip().splitlines()), 1)
        self.assertEqual(read(src + ".torrent"), b"precious")
        run("--force", src, check=0)
        self.check_torrent(src + ".torrent", [((b"f",), src)], multi=False)

    def test_usage_and_errors(self):
        src = os.path.join(self.dir, "f")
        write(src, b"x")
        write(os.path.join(self.dir, "other", "g"), b"y")
        for args in [[], ["-l", "3k", src], ["-l", "100000", src], ["--bogus", src], ["-o"],
                     [src, os.path.join(self.dir, "other", "g")], ["--each", self.dir, src]]:
            with self.subTest(args=args):
                p = run(*args, check=2)
                self.assertTrue(p.stderr)
        p = run(os.path.join(self.dir, "missing"), check=1)
        # Named as missing, not with the window's prompt for a name.
        self.assertIn(b"/missing\" does not exist", p.stderr)
        # A folder with a link to nothing: its size cannot be read.
        os.makedirs(os.path.join(self.dir, "broken"))
        os.symlink("nowhere", os.path.join(self.dir, "broken", "dangling"))
        p = run(os.path.join(self.dir, "broken"), check=1)
        self.assertIn(b"/broken/dangling\": No such file or directory", p.stderr)
        self.assertFalse(os.path.exists(os.path.join(self.dir, "broken.torrent")))

    def test_tracker_names_from_the_tracker_list(self):
        cache = os.path.join(self.dir, "cache")
        write(os.path.join(cache, "quorvane", "trackers.lst"),
              b"208\nhttp://update.example/\n2\n"
              b"Alive\nhttp://alive.example/announce\nhttp://alive.example/\n0\n"
              b"Dead\nhttp://dead.example/announce\n\n1\n")
        env = dict(os.environ, XDG_CACHE_HOME=cache, XDG_CONFIG_HOME=os.path.join(self.dir, "config"))
        src = os.path.join(self.dir, "f")
        write(src, self.data(1000))
        out = src + ".torrent"

        run("-a", "Alive", "-b", "Dead", "-b", "http://other/announce", src, check=0, env=env)
        ti = lt.torrent_info(out)
        self.assertEqual([t.url for t in ti.trackers()],
                         ["http://alive.example/announce", "http://dead.example/announce", "http://other/announce"])
        os.remove(out)

        # A tracker shown as down asks first; with no terminal the answer is No.
        p = run("-a", "Dead", src, check=1, env=env)
        self.assertIn(b"Tracker may be down; are you sure you want to continue?", p.stderr)
        self.assertFalse(os.path.exists(out))
        run("-a", "Dead", "--yes", src, check=0, env=env)
        self.assertEqual([t.url for t in lt.torrent_info(out).trackers()], ["http://dead.example/announce"])

    def test_interrupt_writes_nothing(self):
        src = os.path.join(self.dir, "huge")
        with open(src, "wb") as f:
            f.truncate(64 << 30)  # sparse: reads cost no disk, hashing takes long enough
        write(src + ".torrent", b"precious")
        proc = subprocess.Popen([CLI, "create", "-f", src], stdout=subprocess.PIPE, stderr=subprocess.PIPE)
        # Wait until hashing has the file open, then press Ctrl-C.
        deadline = time.time() + 60
        while time.time() < deadline:
            try:
                if any(os.readlink("/proc/%d/fd/%s" % (proc.pid, fd)) == src
                       for fd in os.listdir("/proc/%d/fd" % proc.pid)):
                    break
            except OSError:
                pass
            time.sleep(0.01)
        else:
            proc.kill()
            self.fail("hashing did not start within 60 s")
        proc.send_signal(signal.SIGINT)
        out, err = proc.communicate(timeout=120)
        self.assertEqual(proc.returncode, 130, err)
        self.assertIn(b"Operation Aborted!", err)
        self.assertEqual(out, b"")
        self.assertNotIn(b"\r", err)  # no progress line when stderr is not a terminal
        self.assertEqual(read(src + ".torrent"), b"precious")
        self.assertEqual(sorted(os.listdir(self.dir)), ["huge", "huge.torrent"])


if __name__ == "__main__":
    CLI = sys.argv.pop(1)
    unittest.main(verbosity=2)
