#!/usr/bin/python3
"""quorvane-cli create --format v2|hybrid against libtorrent's create_torrent over the same files.

Usage: v2_create_vs_libtorrent.py QUORVANE_CLI
"""
import hashlib
import json
import os
import subprocess
import sys
import tempfile
import unittest

import libtorrent as lt

CLI = None
KIB = 1024
BLOCK = 16 * KIB


def write(path, data):
    os.makedirs(os.path.dirname(path), exist_ok=True)
    with open(path, "wb") as f:
        f.write(data)


def data_of(length, seed):
    # Not all alike, so that a block hashed at the wrong offset shows.
    unit = hashlib.sha256(seed.encode()).digest()
    return (unit * (length // len(unit) + 1))[:length]


def bdecode_top(raw):
    """The top-level dictionary's values as raw byte slices, keys in file order."""
    def skip(pos):
        c = raw[pos:pos + 1]
        if c == b"i":
            return raw.index(b"e", pos) + 1
        if c in (b"l", b"d"):
            pos += 1
            while raw[pos:pos + 1] != b"e":
                pos = skip(pos)
            return pos + 1
        colon = raw.index(b":", pos)
        return colon + 1 + int(raw[pos:colon])

    assert raw[:1] == b"d"
    out, pos = [], 1
    while raw[pos:pos + 1] != b"e":
        key_end = skip(pos)
        colon = raw.index(b":", pos)
        key = raw[colon + 1:key_end]
        value_end = skip(key_end)
        out.append((key, raw[key_end:value_end]))
        pos = value_end
    return out


def merkle_root(data, piece_length):
    """A file's root and piece layer, from the rules of v2 alone."""
    leaves = [hashlib.sha256(data[i:i + BLOCK]).digest() for i in range(0, len(data), BLOCK)]
    zero = bytes(32)

    def reduce(layer, width, pad):
        layer = layer + [pad] * (width - len(layer))
        while len(layer) > 1:
            layer = [hashlib.sha256(layer[i] + layer[i + 1]).digest() for i in range(0, len(layer), 2)]
        return layer[0]

    def width(n):
        w = 1
        while w < n:
            w *= 2
        return w

    per_piece = piece_length // BLOCK
    if len(data) <= piece_length:
        return reduce(leaves, width(len(leaves)), zero), b""
    layer = [reduce(leaves[i:i + per_piece], per_piece, zero) for i in range(0, len(leaves), per_piece)]
    pad_piece = reduce([], per_piece, zero)
    return reduce(layer, width(len(layer)), pad_piece), b"".join(layer)


def libtorrent_torrent(path, piece_length, fmt):
    fs = lt.file_storage()
    lt.add_files(fs, path)
    flags = lt.create_torrent.v2_only if fmt == "v2" else 0
    ct = lt.create_torrent(fs, piece_length, flags=flags)
    lt.set_piece_hashes(ct, os.path.dirname(path))
    return lt.bencode(ct.generate())


def ours(path, piece_length, fmt, out, *extra):
    p = subprocess.run([CLI, "create", "--format", fmt, "-l", str(piece_length), "--no-date", "-q", "-f", "-o", out,
                        *extra, path], capture_output=True, timeout=600, stdin=subprocess.DEVNULL)
    if p.returncode != 0:
        raise AssertionError("exit %d\nstdout: %r\nstderr: %r" % (p.returncode, p.stdout, p.stderr))
    with open(out, "rb") as f:
        return f.read(), p.stdout.decode()


# name -> function(piece_length) giving {relative path: length}; a key "" is a single file.
LAYOUTS = {
    "file of 100,000 B": lambda pl: {"": 100_000},
    "file of 1 B": lambda pl: {"": 1},
    "file of 16,384 B": lambda pl: {"": 16_384},
    "folder of edge sizes": lambda pl: {
        "e0": 0, "e1": 1, "f16383": 16_383, "f16384": 16_384, "f16385": 16_385,
        "piece-1": pl - 1, "piece": pl, "pieces3.5": pl * 7 // 2},
    # libtorrent pads the file before an empty one and writes no pad after an aligned file.
    "empty files at the end": lambda pl: {"a": 20_000, "b": pl + 5, "y-empty": 0, "z-empty": 0},
    "empty files in the middle": lambda pl: {"a": 20_000, "b-empty": 0, "c-empty": 0, "d": 5000},
    "an empty file after an aligned file": lambda pl: {"a": pl, "b-empty": 0, "c": 3, "d-empty": 0},
    "nested names": lambda pl: {"A": 3, "a/b/c.txt": 5000, "a/x": 20_000, "a b/y": 1, "a.txt": pl + 7, "z": 40_000},
    "folder holding one file": lambda pl: {"only.bin": 100_000},
    "folder with scripts": lambda pl: {"run.sh": 300, "bin/tool": pl + 1, "data.bin": 40_000, "empty.sh": 0},
    "script alone": lambda pl: {"": 5000},
}
# Files made executable by their owner: libtorrent marks them (attr "x") in v2 and hybrid torrents.
EXECUTABLE = {("folder with scripts", "run.sh"), ("folder with scripts", "bin/tool"),
              ("folder with scripts", "empty.sh"), ("script alone", "")}
PIECE_LENGTHS = [16 * KIB, 32 * KIB, 256 * KIB, 1024 * KIB, 16 * 1024 * KIB]


class V2CreateVsLibtorrent(unittest.TestCase):
    def setUp(self):
        self.tmp = tempfile.TemporaryDirectory(prefix="quorvane-v2-")

    def tearDown(self):
        self.tmp.cleanup()

    def make(self, name, piece_length):
        # A folder of each layout's own: the files of another one would join it.
        root = os.path.join(self.tmp.name, "data", "%d-%d" % (list(LAYOUTS).index(name), piece_length), "set")
        files = LAYOUTS[name](piece_length)
        if "" in files:
            path = root + ".bin"
            write(path, data_of(files[""], name))
            os.chmod(path, 0o755 if (name, "") in EXECUTABLE else 0o644)
            return path, {(): data_of(files[""], name)}
        contents = {}
        for rel, length in files.items():
            data = data_of(length, rel)
            write(os.path.join(root, rel), data)
            os.chmod(os.path.join(root, rel), 0o755 if (name, rel) in EXECUTABLE else 0o644)
            contents[tuple(rel.split("/"))] = data
        return root, contents

    def test_info_bytes_and_hashes_match_libtorrent(self):
        for name in LAYOUTS:
            for piece_length in PIECE_LENGTHS:
                # The big pieces only for the layout whose sizes follow the piece length.
                if piece_length > 1024 * KIB and name != "folder of edge sizes":
                    continue
                path, contents = self.make(name, piece_length)
                for fmt in ("v2", "hybrid"):
                    with self.subTest(layout=name, piece_length=piece_length, format=fmt):
                        out = os.path.join(self.tmp.name, "%s-%d.torrent" % (fmt, piece_length))
                        mine, printed = ours(path, piece_length, fmt, out)
                        theirs = libtorrent_torrent(path, piece_length, fmt)
                        my_keys = dict(bdecode_top(mine))
                        their_keys = dict(bdecode_top(theirs))
                        self.assertEqual(my_keys[b"info"], their_keys[b"info"])
                        self.assertEqual(my_keys[b"piece layers"], their_keys[b"piece layers"])
                        self.assertEqual([k for k, _ in bdecode_top(mine)], sorted(my_keys))

                        ti = lt.torrent_info(mine)
                        hashes = ti.info_hashes()
                        v2 = hashlib.sha256(my_keys[b"info"]).hexdigest()
                        self.assertTrue(hashes.has_v2())
                        self.assertEqual(str(hashes.v2), v2)
                        if fmt == "hybrid":
                            v1 = hashlib.sha1(my_keys[b"info"]).hexdigest()
                            self.assertTrue(hashes.has_v1())
                            self.assertEqual(str(hashes.v1), v1)
                            self.assertEqual(printed.split()[:2], [v1, v2])
                        else:
                            self.assertFalse(hashes.has_v1())
                            self.assertEqual(printed.split()[0], v2)

                        # The roots and layers against a merkle tree made here from the data.
                        decoded = lt.bdecode(mine)
                        layers = decoded[b"piece layers"]
                        tree = decoded[b"info"][b"file tree"]
                        for rel, data in contents.items():
                            node = tree
                            for component in (rel or (decoded[b"info"][b"name"].decode(),)):
                                node = node[component.encode()]
                            entry = node[b""]
                            self.assertEqual(entry[b"length"], len(data))
                            if not data:
                                self.assertNotIn(b"pieces root", entry)
                                continue
                            root, layer = merkle_root(data, piece_length)
                            self.assertEqual(entry[b"pieces root"], root, rel)
                            if layer:
                                self.assertEqual(layers[root], layer, rel)
                            else:
                                self.assertNotIn(root, layers)

    def test_executable_files_are_marked_in_v2_and_hybrid_only(self):
        for name in ("folder with scripts", "script alone"):
            path, _ = self.make(name, 16 * KIB)
            for fmt in ("v1", "v2", "hybrid"):
                with self.subTest(layout=name, format=fmt):
                    out = os.path.join(self.tmp.name, fmt + ".torrent")
                    mine, _ = ours(path, 16 * KIB, fmt, out)
                    ti = lt.torrent_info(mine)
                    marked = [ti.files().file_path(i) for i in range(ti.num_files())
                              if ti.files().file_flags(i) & lt.file_storage.flag_executable]
                    # v1 keeps mktorrent's bytes: no attributes at all.
                    self.assertEqual(b"4:attr" in mine, fmt != "v1")
                    if fmt == "v1":
                        self.assertEqual(marked, [])
                    elif name == "script alone":
                        self.assertEqual(marked, [os.path.basename(path)])
                    else:
                        self.assertEqual(sorted(marked), ["set/bin/tool", "set/empty.sh", "set/run.sh"])

    def test_a_folder_holding_one_file_reads_back_as_that_folder(self):
        path, contents = self.make("folder holding one file", 16 * KIB)
        for fmt in ("v2", "hybrid"):
            with self.subTest(format=fmt):
                out = os.path.join(self.tmp.name, fmt + ".torrent")
                ours(path, 16 * KIB, fmt, out)
                p = subprocess.run([CLI, "show", "--json", out], capture_output=True, timeout=60,
                                   stdin=subprocess.DEVNULL)
                self.assertEqual(p.returncode, 0, p.stderr)
                shown = json.loads(p.stdout)
                self.assertEqual((shown["name"], shown["multi_file"]), ("set", True))
                self.assertEqual([f["path"] for f in shown["files"] if not f.get("pad")], ["only.bin"])
                # libtorrent reads the hybrid the same way, by its v1 list. Its v2-only reading
                # (2.0.8) drops the folder and the name with it: "only.bin" alone.
                ti = lt.torrent_info(out)
                if fmt == "hybrid":
                    self.assertEqual([ti.files().file_path(i) for i in range(ti.num_files())], ["set/only.bin"])
                v = subprocess.run([CLI, "verify", "-q", out, path], capture_output=True, timeout=60,
                                   stdin=subprocess.DEVNULL)
                self.assertEqual(v.returncode, 0, v.stdout + v.stderr)

    def test_trackers_comment_and_web_seeds_around_the_v2_info(self):
        path, _ = self.make("nested names", 16 * KIB)
        out = os.path.join(self.tmp.name, "t.torrent")
        mine, _ = ours(path, 16 * KIB, "hybrid", out, "-a", "http://t.example/a", "-b", "udp://u.example:1",
                       "-c", "hello", "-w", "http://w.example/")
        keys = [k for k, _ in bdecode_top(mine)]
        self.assertEqual(keys, sorted(keys))
        ti = lt.torrent_info(mine)
        self.assertEqual([t.url for t in ti.trackers()], ["http://t.example/a", "udp://u.example:1"])
        self.assertEqual(ti.comment(), "hello")
        self.assertEqual([w["url"] for w in ti.web_seeds()], ["http://w.example/"])

    def test_json_names_both_hashes(self):
        path, _ = self.make("file of 100,000 B", 16 * KIB)
        for fmt, has_v1 in (("v2", False), ("hybrid", True), ("v1", True)):
            with self.subTest(format=fmt):
                out = os.path.join(self.tmp.name, fmt + ".torrent")
                _, printed = ours(path, 16 * KIB, fmt, out, "--json")
                line = json.loads(printed)
                self.assertEqual(line["format"], fmt)
                ti = lt.torrent_info(out)
                hashes = ti.info_hashes()
                self.assertEqual(line["info_hash"], str(hashes.v1) if has_v1 else "")
                self.assertEqual(line["info_hash_v2"], str(hashes.v2) if fmt != "v1" else "")
                self.assertEqual(line["total_length"], 100_000)
                if fmt != "v1":
                    self.assertIn("xt=urn:btmh:1220" + str(hashes.v2), line["magnet"])

    def test_json_counts_the_pieces_and_bytes_libtorrent_sees(self):
        # Each file of a folder starts a piece: the pieces are more than the bytes over the piece length.
        path, contents = self.make("folder of edge sizes", 16 * KIB)
        for fmt in ("v2", "hybrid"):
            with self.subTest(format=fmt):
                out = os.path.join(self.tmp.name, fmt + ".torrent")
                _, printed = ours(path, 16 * KIB, fmt, out, "--json")
                line = json.loads(printed)
                self.assertEqual(line["piece_count"], lt.torrent_info(out).num_pieces())
                self.assertEqual(line["total_length"], sum(len(data) for data in contents.values()))

    def test_refused_requests_write_nothing(self):
        folder = os.path.join(self.tmp.name, "empty")
        write(os.path.join(folder, "a"), b"")
        write(os.path.join(folder, "b"), b"")
        cases = [
            ("only empty files", [folder], 1),
            ("unknown format", ["--format", "v3", folder], 2),
        ]
        for name, args, code in cases:
            with self.subTest(case=name):
                out = os.path.join(self.tmp.name, "refused.torrent")
                p = subprocess.run([CLI, "create", "--format", "v2", "-q", "-o", out, *args], capture_output=True,
                                   timeout=60, stdin=subprocess.DEVNULL)
                self.assertEqual(p.returncode, code, p.stderr)
                self.assertTrue(p.stderr.strip())
                self.assertFalse(os.path.exists(out))


if __name__ == "__main__":
    CLI = os.path.abspath(sys.argv.pop(1))
    unittest.main(verbosity=1)
