#!/usr/bin/python3
"""`quorvane-cli show` checked against libtorrent, on torrents made by mktorrent,
transmission-create and libtorrent itself.

Usage: show_vs_libtorrent.py --cli PATH --set-comment PATH
"""
import argparse
import hashlib
import json
import os
import subprocess
import sys
import tempfile
import unittest

import libtorrent as lt

CLI = None
SET_COMMENT = None
TIMEOUT = 120  # seconds for any one tool run; generous, only there so nothing hangs


def run(cmd, env=None, check=True):
    result = subprocess.run(cmd, capture_output=True, timeout=TIMEOUT, env=env)
    if check and result.returncode != 0:
        raise AssertionError("%s failed (%d): %s" % (cmd, result.returncode, result.stderr.decode(errors="replace")))
    return result


def show_json(path):
    result = run([CLI, "show", "--json", path], check=False)
    try:
        return result.returncode, json.loads(result.stdout.decode("utf-8"))
    except ValueError as e:
        raise AssertionError("not JSON (%s): %r" % (e, result.stdout[:500]))


def write_file(path, size, seed):
    os.makedirs(os.path.dirname(path), exist_ok=True)
    with open(path, "wb") as f:
        f.write(bytes((i * 31 + seed) & 0xFF for i in range(size)))


def make_tree(root):
    """A folder with nested subfolders, a file that ends exactly on a piece, and an empty file."""
    write_file(os.path.join(root, "readme.txt"), 1000, 1)
    write_file(os.path.join(root, "a", "b", "c.bin"), 80000, 2)
    write_file(os.path.join(root, "a", "b", "d e.bin"), 32768, 3)
    write_file(os.path.join(root, "a", "z.dat"), 5, 4)
    write_file(os.path.join(root, "x", "empty"), 0, 5)
    return root


def make_single(path):
    write_file(path, 70000, 9)
    return path


# --- torrent makers: each returns the .torrent path --------------------------------------

def mktorrent(target, out, trackers, comment=None, private=False, no_date=False, source=None, web_seeds=()):
    cmd = ["mktorrent", "-l", "15", "-o", out]
    if source is not None:
        cmd += ["-s", source]
    for url in web_seeds:
        cmd += ["-w", url]
    for tier in trackers:
        cmd += ["-a", ",".join(tier)]
    if comment is not None:
        cmd += ["-c", comment]
    if private:
        cmd.append("-p")
    if no_date:
        cmd.append("-d")
    run(cmd + [target])
    return out


def transmission(target, out, trackers, comment=None, private=False):
    cmd = ["transmission-create", "-s", "32", "-o", out]
    for url in trackers:
        cmd += ["-t", url]
    if comment is not None:
        cmd += ["-c", comment]
    if private:
        cmd.append("-p")
    run(cmd + [target])
    return out


def libtorrent(target, out, tiers, comment=None, private=False, v1_only=True, v2_only=False, piece_length=32768):
    fs = lt.file_storage()
    lt.add_files(fs, target)
    flags = lt.create_torrent.v1_only if v1_only else lt.create_torrent.v2_only if v2_only else 0
    ct = lt.create_torrent(fs, piece_length, flags=flags)
    for tier, urls in enumerate(tiers):
        for url in urls:
            ct.add_tracker(url, tier)
    if comment is not None:
        ct.set_comment(comment)
    ct.set_priv(private)
    ct.set_creator("quorvane test")
    lt.set_piece_hashes(ct, os.path.dirname(target))
    with open(out, "wb") as f:
        f.write(lt.bencode(ct.generate()))
    return out


def raw_dict(path):
    with open(path, "rb") as f:
        return lt.bdecode(f.read())


def lt_info(path):
    return lt.torrent_info(path)


class ShowAgreesWithLibtorrent(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        cls.tmp = tempfile.TemporaryDirectory(prefix="quorvane-show-")
        d = cls.tmp.name
        single = make_single(os.path.join(d, "data", "single file.bin"))
        tree = make_tree(os.path.join(d, "data", "Tree"))
        out = lambda name: os.path.join(d, name)
        # (case name, torrent path)
        cls.cases = [
            ("mktorrent single, comment", mktorrent(single, out("mk1.torrent"), [["http://t1.example/announce"]],
                                                     comment="made by mktorrent")),
            ("mktorrent multi, announce-list, private",
             mktorrent(tree, out("mk2.torrent"),
                       [["http://t1.example/announce", "http://t2.example/announce"], ["udp://t3.example:80"]],
                       private=True)),
            ("mktorrent no date", mktorrent(single, out("mk3.torrent"), [["http://t1.example/a"]], no_date=True)),
            ("mktorrent multi, private, source, two web seeds",
             mktorrent(tree, out("mk4.torrent"), [["http://t1.example/a"], ["http://t2.example/b?x=1&y=2"]],
                       private=True, source="SRC tag", web_seeds=["http://w1.example/", "http://w2.example/b/"])),
            ("transmission single, private, comment",
             transmission(single, out("tr1.torrent"), ["http://t1.example/announce"], comment="Grüße\nline two",
                          private=True)),
            ("transmission multi, two trackers",
             transmission(tree, out("tr2.torrent"), ["http://t1.example/announce", "http://t2.example/x"])),
            ("libtorrent multi, tiers, comment, private",
             libtorrent(tree, out("lt1.torrent"), [["http://t1.example/a"], ["http://t2.example/b"]],
                        comment="libtorrent comment", private=True)),
            ("libtorrent single", libtorrent(single, out("lt2.torrent"), [["http://t1.example/a"]])),
            ("libtorrent hybrid v1+v2 with pad files",
             libtorrent(tree, out("lt3.torrent"), [["http://t1.example/a"]], v1_only=False)),
            ("libtorrent v2-only multi, 16 KiB pieces, private",
             libtorrent(tree, out("lt4.torrent"), [["http://t1.example/a"]], private=True, v1_only=False,
                        v2_only=True, piece_length=16384)),
            ("libtorrent v2-only single",
             libtorrent(single, out("lt5.torrent"), [["http://t1.example/a"]], v1_only=False, v2_only=True)),
            ("libtorrent hybrid single, comment",
             libtorrent(single, out("lt6.torrent"), [["http://t1.example/a"]], comment="hybrid", v1_only=False,
                        piece_length=16384)),
        ]

    @classmethod
    def tearDownClass(cls):
        cls.tmp.cleanup()

    def check_against_libtorrent(self, path):
        status, ours = show_json(path)
        self.assertEqual(status, 0, ours.get("errors"))
        self.assertEqual(sorted(ours.keys()), sorted([
            "announce", "backup_trackers", "name", "info_hash", "comment", "creation_date", "piece_length",
            "piece_count", "total_length", "multi_file", "files", "announce_list", "private", "source",
            "web_seeds", "created_by", "magnet", "errors", "notes", "format", "info_hash_v2", "piece_layers"]))
        ti = lt_info(path)

        self.assertEqual(ours["name"], ti.name())
        raw = raw_dict(path)
        v1 = b"pieces" in raw[b"info"]
        v2 = b"file tree" in raw[b"info"]
        self.assertEqual(ours["format"], "hybrid" if v1 and v2 else "v2" if v2 else "v1")
        self.assertEqual(ours["info_hash"], str(ti.info_hashes().v1) if v1 else "")
        self.assertEqual(ours["info_hash_v2"], str(ti.info_hashes().v2) if v2 else "")
        self.assertEqual(ours["piece_layers"], "complete" if v2 else "")
        self.assertEqual(ours["comment"], ti.comment())
        self.assertEqual(ours["creation_date"], ti.creation_date() or None)
        self.assertEqual(ours["piece_length"], ti.piece_length())
        self.assertEqual(ours["piece_count"], ti.num_pieces())
        fs = ti.files()
        pad = lt.file_storage.flag_pad_file
        real_total = sum(fs.file_size(i) for i in range(fs.num_files()) if not fs.file_flags(i) & pad)
        # libtorrent counts pads in its total; ours is the files' own bytes for any torrent with a v2
        # part (a v1-only torrent's total stays the sum of its list).
        self.assertEqual(ours["total_length"], real_total if v2 else ti.total_size())
        self.assertEqual(ours["errors"], [])

        # Trackers: libtorrent lists the announce-list when there is one, else the announce URL.
        trackers = [(t.tier, t.url) for t in ti.trackers()]
        self.assertEqual(ours["announce"], raw[b"announce"].decode())
        if b"announce-list" in raw:
            tiers = {}
            for tier, url in trackers:
                tiers.setdefault(tier, []).append(url)
            # The back-up trackers are libtorrent's list without the main tracker.
            expected = [url for tier in sorted(tiers) for url in sorted(tiers[tier]) if url != ours["announce"]]
            backups = [url for tier in sorted(tiers) for url in tiers[tier] if url != ours["announce"]]
            ours_by_tier = []
            pos = 0
            for tier in sorted(tiers):  # libtorrent may reorder within a tier
                count = len([url for url in tiers[tier] if url != ours["announce"]])
                ours_by_tier += sorted(ours["backup_trackers"][pos:pos + count])
                pos += count
            self.assertEqual(ours_by_tier, expected)
            self.assertEqual(len(ours["backup_trackers"]), len(backups))
            # The tiers as libtorrent numbers them (it may reorder within a tier).
            self.assertEqual([sorted(tier) for tier in ours["announce_list"]],
                             [sorted(tiers[tier]) for tier in sorted(tiers)])
        else:
            self.assertEqual(trackers, [(0, ours["announce"])])
            self.assertEqual(ours["backup_trackers"], [])
            self.assertEqual(ours["announce_list"], [])

        self.assertEqual(ours["private"], ti.priv())
        self.assertEqual(ours["source"], raw[b"info"][b"source"].decode() if b"source" in raw[b"info"] else None)
        self.assertEqual(ours["web_seeds"], [w["url"] for w in ti.web_seeds()])
        self.assertEqual(ours["created_by"], ti.creator() or None)
        magnet = lt.parse_magnet_uri(ours["magnet"])
        self.assertEqual(str(magnet.info_hashes.v1), str(ti.info_hashes().v1))
        self.assertEqual(str(magnet.info_hashes.v2), str(ti.info_hashes().v2))
        self.assertTrue(ours["magnet"].startswith("magnet:?xt=urn:btih:" if v1 else "magnet:?xt=urn:btmh:1220"))
        self.assertEqual(magnet.name, ti.name())
        main = {ours["announce"]} if ours["announce"] else set()
        self.assertEqual(sorted(magnet.trackers), sorted(set(t.url for t in ti.trackers()) | main))

        multi = b"files" in raw[b"info"] or (v2 and b"" not in raw[b"info"][b"file tree"].get(ti.name().encode(), {}))
        self.assertEqual(ours["multi_file"], multi)
        # libtorrent lists the pads of a v2-only torrent too; its tree has none.
        shown = [i for i in range(fs.num_files()) if v1 or not fs.file_flags(i) & pad]
        lt_files = [(fs.file_path(i), fs.file_size(i)) for i in shown]
        prefix = ti.name() + "/" if multi else ""
        self.assertEqual([(prefix + f["path"], f["length"]) for f in ours["files"]], lt_files)
        if v2:
            self.assertEqual([f["pieces_root"] for f in ours["files"]],
                             ["" if fs.file_flags(i) & pad or fs.file_size(i) == 0 else str(fs.root(i))
                              for i in shown])
        else:
            self.assertNotIn("pieces_root", str(ours["files"]))
        return ours, ti

    def test_every_field_agrees(self):
        for name, path in self.cases:
            with self.subTest(name):
                self.check_against_libtorrent(path)

    def test_cases_cover_what_they_claim(self):
        # Guard against a maker silently ignoring an option.
        by_name = dict(self.cases)
        self.assertTrue(lt_info(by_name["mktorrent multi, announce-list, private"]).priv())
        self.assertTrue(lt_info(by_name["transmission single, private, comment"]).priv())
        self.assertEqual(lt_info(by_name["mktorrent no date"]).creation_date(), 0)
        _, ours = show_json(by_name["mktorrent multi, announce-list, private"])
        self.assertEqual(len(ours["files"]), 5)
        self.assertIn("a/b/d e.bin", [f["path"] for f in ours["files"]])
        # The main tracker heads the tiers, and is no back-up of itself.
        self.assertEqual(ours["announce"], "http://t1.example/announce")
        self.assertEqual(ours["backup_trackers"], ["http://t2.example/announce", "udp://t3.example:80"])

    def test_saving_with_a_new_comment_keeps_info_hash_and_private_flag(self):
        for name, path in self.cases:
            if not lt_info(path).priv():
                continue
            with self.subTest(name):
                saved = path + ".edited.torrent"
                run([SET_COMMENT, path, saved, "a new comment"])
                before, after = lt_info(path), lt_info(saved)
                self.assertEqual(str(after.info_hashes().v1), str(before.info_hashes().v1))
                self.assertTrue(after.priv())
                self.assertEqual(after.comment(), "a new comment")
                self.assertEqual(raw_dict(saved)[b"info"].get(b"private"), 1)
                self.check_against_libtorrent(saved)

    def test_edits_of_v2_and_hybrid_torrents_agree_with_libtorrent(self):
        edits = [
            # (edit options, whether the info changes)
            (["--comment", "another"], False),
            (["--add-tracker", "udp://t9.example:80"], False),
            (["--date", "1700000000"], False),
            (["--private", "on", "--source", "SRC"], True),
            (["--source", "other"], True),
        ]
        for name, path in self.cases:
            raw = raw_dict(path)
            if b"file tree" not in raw[b"info"]:
                continue
            before = lt_info(path).info_hashes()
            v1 = b"pieces" in raw[b"info"]
            for options, changes in edits:
                with self.subTest(name=name, edit=" ".join(options)):
                    saved = path + ".edit.torrent"
                    result = run([CLI, "edit", path, "-f", "-o", saved] + options)
                    after = lt_info(saved).info_hashes()
                    self.assertEqual(raw_dict(saved)[b"info"][b"file tree"], raw[b"info"][b"file tree"])
                    self.assertEqual(raw_dict(saved).get(b"piece layers"), raw.get(b"piece layers"))
                    self.assertEqual(str(after.v2) != str(before.v2), changes)
                    err = result.stderr.decode()
                    if changes:
                        self.assertIn(str(before.v2) + " -> " + str(after.v2), err)
                        if v1:
                            self.assertIn(str(before.v1) + " -> " + str(after.v1), err)
                    else:
                        self.assertEqual(err, "")
                        self.assertEqual(str(after.v1), str(before.v1))
                    printed = result.stdout.decode().strip()
                    self.assertEqual(printed, str(after.v1) if v1 else str(after.v2))
                    self.check_against_libtorrent(saved)

    def test_renames_of_v2_torrents_keep_the_tree_order_or_are_refused(self):
        tree_order = (1, b"cannot be carried into its v2 file tree")
        multi_renames = [
            # (edit options, saved or (status, stderr) of the refusal), in the tree "Tree": a/b/c.bin,
            # a/b/d e.bin, a/z.dat, readme.txt, x/empty
            (["--name", "Renamed"], True),
            (["--rename", "0=a/b/a.bin"], True),
            (["--name", "N", "--rename", "0=a/0/c.bin"], True),
            (["--rename", "0=z/c.bin"], tree_order),  # past the others
            # Two files of one path: refused as in a v1 torrent, before the tree is looked at.
            (["--rename", "0=d e.bin"], (2, b"has this path")),
        ]
        single_renames = [(["--name", "renamed.bin"], True), (["--rename", "0=other.bin"], True)]
        for name, path in self.cases:
            raw = raw_dict(path)
            if b"file tree" not in raw[b"info"]:
                continue
            with open(path, "rb") as f:
                original = f.read()
            before = show_json(path)[1]
            real = [f["path"] for f in before["files"] if not f.get("pad")]
            for options, saved in (multi_renames if before["multi_file"] else single_renames):
                with self.subTest(name=name, edit=" ".join(options)):
                    out = path + ".renamed.torrent"
                    if os.path.exists(out):
                        os.remove(out)
                    # --rename counts padding files too: map the index to the list the file shows.
                    args = list(options)
                    if "--rename" in args:
                        at = args.index("--rename") + 1
                        index, target = args[at].split("=", 1)
                        shown = [f["path"] for f in before["files"]].index(real[int(index)])
                        args[at] = "%d=%s" % (shown, target)
                    result = run([CLI, "edit", path, "-f", "-o", out] + args, check=False)
                    with open(path, "rb") as f:
                        self.assertEqual(f.read(), original)
                    if saved is not True:
                        self.assertEqual(result.returncode, saved[0])
                        self.assertIn(saved[1], result.stderr)
                        self.assertFalse(os.path.exists(out))
                        continue
                    self.assertEqual(result.returncode, 0, result.stderr)
                    ours, ti = self.check_against_libtorrent(out)
                    self.assertEqual(ours["format"], before["format"])
                    self.assertEqual(raw_dict(out).get(b"piece layers"), raw.get(b"piece layers"))
                    roots = [f["pieces_root"] for f in ours["files"] if not f.get("pad")]
                    self.assertEqual(roots, [f["pieces_root"] for f in before["files"] if not f.get("pad")])


class HybridsWithEmptyFiles(unittest.TestCase):
    """Hybrids whose empty files carry no pad before them, as libtorrent's empty-files-1..5 test
    torrents have them: libtorrent writes no pad before a file of 0 bytes, so a pad follows the
    empty files after a file ending inside a piece."""

    # name -> {relative path: length}, in tree order
    LAYOUTS = {
        "empty files at the end": {"1": 20000, "2": 5000, "3-empty": 0, "4-empty": 0},
        "an empty file in the middle": {"1": 20000, "2-empty": 0, "3": 5000},
        "an empty file after an aligned file": {"1": 32768, "2-empty": 0, "3": 100, "4-empty": 0},
        "an empty file first": {"1-empty": 0, "2": 7000, "3": 9000},
        "runs of empty files": {"1": 1, "2-empty": 0, "3-empty": 0, "4": 2, "5-empty": 0, "6-empty": 0},
    }

    @staticmethod
    def without_pads_before_empty_files(files, tail_pad):
        out, pads = [], []
        for f in files:
            if b"p" in f.get(b"attr", b""):
                pads.append(f)
            elif f[b"length"] == 0:
                out.append(f)
            else:
                out += pads + [f]
                pads = []
        return out + (pads if tail_pad else [])

    def setUp(self):
        self.tmp = tempfile.TemporaryDirectory(prefix="quorvane-empty-")

    def tearDown(self):
        self.tmp.cleanup()

    def test_load_show_verify_and_edit_as_libtorrent_does(self):
        for name, layout in self.LAYOUTS.items():
            root = os.path.join(self.tmp.name, name.replace(" ", "-"), "set")
            for seed, (rel, length) in enumerate(layout.items()):
                write_file(os.path.join(root, rel), length, seed)
            fs = lt.file_storage()
            lt.add_files(fs, root)
            ct = lt.create_torrent(fs, 16384)
            ct.add_tracker("http://t.example/announce")
            lt.set_piece_hashes(ct, os.path.dirname(root))
            made = ct.generate()
            for tail_pad in (True, False):
                with self.subTest(layout=name, tail_pad=tail_pad):
                    info = dict(made[b"info"])
                    info[b"files"] = self.without_pads_before_empty_files(made[b"info"][b"files"], tail_pad)
                    # Without the tail pad the last piece is shorter.
                    stream = b""
                    for f in info[b"files"]:
                        if b"p" in f.get(b"attr", b""):
                            stream += bytes(f[b"length"])
                        else:
                            with open(os.path.join(root, *[p.decode() for p in f[b"path"]]), "rb") as data:
                                stream += data.read()
                    info[b"pieces"] = b"".join(hashlib.sha1(stream[i:i + 16384]).digest()
                                               for i in range(0, len(stream), 16384))
                    torrent = dict(made)
                    torrent[b"info"] = info
                    path = os.path.join(self.tmp.name, "t.torrent")
                    with open(path, "wb") as f:
                        f.write(lt.bencode(torrent))
                    theirs = lt_info(path).info_hashes()
                    self.assertTrue(theirs.has_v1() and theirs.has_v2())

                    status, shown = show_json(path)
                    self.assertEqual((status, shown["errors"]), (0, []))
                    self.assertEqual(shown["info_hash"], str(theirs.v1))
                    self.assertEqual(shown["info_hash_v2"], str(theirs.v2))
                    self.assertEqual([(f["path"], f["length"]) for f in shown["files"]],
                                     [(b"/".join(f[b"path"]).decode(), f[b"length"]) for f in info[b"files"]])

                    run([CLI, "verify", path, root])
                    damaged = os.path.join(self.tmp.name, "damaged")
                    subprocess.run(["cp", "-r", root, damaged], check=True, timeout=TIMEOUT)
                    biggest = max(layout, key=layout.get)
                    with open(os.path.join(damaged, biggest), "r+b") as f:
                        f.write(b"\xff")
                    self.assertEqual(run([CLI, "verify", path, damaged], check=False).returncode, 1)
                    subprocess.run(["rm", "-r", damaged], check=True, timeout=TIMEOUT)

                    saved = os.path.join(self.tmp.name, "edited.torrent")
                    run([CLI, "edit", path, "-f", "-o", saved, "--comment", "edited"])
                    after = lt_info(saved)
                    self.assertEqual((str(after.info_hashes().v1), str(after.info_hashes().v2)),
                                     (str(theirs.v1), str(theirs.v2)))
                    self.assertEqual(after.comment(), "edited")


class ShowOnOddInput(unittest.TestCase):
    def setUp(self):
        self.tmp = tempfile.TemporaryDirectory(prefix="quorvane-show-")

    def tearDown(self):
        self.tmp.cleanup()

    def write(self, name, data):
        path = os.path.join(self.tmp.name, name)
        with open(path, "wb") as f:
            f.write(data)
        return path

    def test_text_is_utf8_with_invalid_bytes_replaced(self):
        name = b"caf\xc3\xa9 \xff\xfe bad \xe2\x82 cut \xed\xa0\x80 surrogate"
        comment = b"tab\there \x1b[31m escape \xc0\xaf overlong"
        info = {b"name": name, b"piece length": 16384, b"pieces": b"\x01" * 20, b"length": 3}
        path = self.write("odd.torrent", lt.bencode({b"announce": b"http://x/\x80", b"comment": comment,
                                                     b"info": info}))
        status, ours = show_json(path)
        self.assertEqual(status, 0)
        self.assertEqual(ours["name"], name.decode("utf-8", "replace"))
        self.assertEqual(ours["comment"], comment.decode("utf-8", "replace"))
        self.assertEqual(ours["announce"], "http://x/\ufffd")
        # The exact bytes of what is not UTF-8, as hex.
        self.assertEqual(ours["files"], [{"path": name.decode("utf-8", "replace"), "length": 3,
                                          "path_bytes": name.hex()}])
        self.assertEqual(ours["name_bytes"], name.hex())
        self.assertIsNone(ours["creation_date"])
        self.assertEqual(ours["info_hash"], str(lt.torrent_info(path).info_hashes().v1))
        # The terminal never sees the escape byte.
        human = run([CLI, "show", path]).stdout
        self.assertNotIn(b"\x1b", human)
        self.assertIn("\ufffd".encode(), human)

    def test_failed_load_still_prints_what_was_read(self):
        cases = [
            # (name, bytes, expected error)
            ("not bencoded", b"hello", "Error parsing file; does not appear to be valid bencoded metainfo"),
            ("empty", b"", "Error parsing file; does not appear to be valid bencoded metainfo"),
            ("list at the top", b"li1ee", "Something bad happened while trying to load the file, probably corrupt metainfo"),
        ]
        for name, data, error in cases:
            with self.subTest(name):
                path = self.write("bad.torrent", data)
                status, ours = show_json(path)
                self.assertEqual(status, 1)
                self.assertEqual(ours["errors"], [error])
                self.assertEqual(ours["files"], [])
                self.assertEqual(ours["info_hash"], "")
                human = run([CLI, "show", path], check=False)
                self.assertEqual(human.returncode, 1)
                self.assertIn(error.encode(), human.stdout)

    def test_missing_keys_load_with_error_lines(self):
        info = {b"name": b"n", b"piece length": 16384, b"pieces": b"\x01" * 20, b"length": 5}
        path = self.write("noannounce.torrent", lt.bencode({b"info": info}))
        status, ours = show_json(path)
        self.assertEqual(status, 0)
        # A torrent without trackers is no damage: the loader's line is a note.
        self.assertEqual(ours["errors"], [])
        self.assertEqual(ours["notes"], ['Corrupt File: Missing "announce" segment'])
        self.assertEqual(ours["announce"], "")
        human = run([CLI, "show", path]).stdout
        self.assertIn(b"Trackers:        none (DHT, peer exchange or web seeds)\n", human)
        self.assertNotIn(b"Errors:", human)

    def test_creation_date_in_local_time(self):
        info = {b"name": b"n", b"piece length": 16384, b"pieces": b"\x01" * 20, b"length": 5}
        date = 4102444800 + 3600  # 2100-01-01 01:00:00 UTC: past 2038 on purpose
        path = self.write("dated.torrent", lt.bencode({b"announce": b"http://a/", b"creation date": date,
                                                       b"info": info}))
        self.assertEqual(show_json(path)[1]["creation_date"], date)
        cases = [("UTC", b"2100-01-01 01:00:00"), ("Asia/Tokyo", b"2100-01-01 10:00:00"),
                 ("America/New_York", b"2099-12-31 20:00:00")]
        for zone, shown in cases:
            with self.subTest(zone):
                out = run([CLI, "show", path], env=dict(os.environ, TZ=zone)).stdout
                self.assertIn(shown, out)

    def test_refuses_a_pipe_before_reading_it(self):
        info = {b"name": b"n", b"piece length": 16384, b"pieces": b"\x02" * 40, b"length": 20000}
        path = self.write("piped.torrent", lt.bencode({b"announce": b"http://a/", b"info": info}))
        # A FIFO with no writer would block an open for ever; a pipe is refused before opening.
        piped = subprocess.run(["sh", "-c", 'cat "$1" | "$2" show --json /dev/stdin', "sh", path, CLI],
                               capture_output=True, timeout=TIMEOUT)
        self.assertEqual(piped.returncode, 1, piped.stderr)
        self.assertEqual(piped.stderr, b"quorvane-cli show: /dev/stdin: Not a regular file\n")
        self.assertEqual(piped.stdout, b"")

    def test_files_over_256_mib_are_refused(self):
        path = os.path.join(self.tmp.name, "huge.torrent")
        with open(path, "wb") as f:
            f.truncate((256 << 20) + 1)  # sparse: no disk space used
        status, ours = show_json(path)
        self.assertEqual(status, 1)
        self.assertEqual(len(ours["errors"]), 1)
        self.assertIn("too large", ours["errors"][0])

    def test_usage(self):
        good = self.write("good.torrent", lt.bencode({b"announce": b"a", b"info": {
            b"name": b"n", b"piece length": 16384, b"pieces": b"\x01" * 20, b"length": 5}}))
        cases = [
            # (args, exit status, text expected in stdout or stderr)
            ([], 2, b"Usage"),
            (["--json"], 2, b"Usage"),
            (["--bogus", good], 2, b"--bogus"),
            ([good, good], 2, b"Usage"),
            (["--help"], 0, b"--json"),
            ([os.path.join(self.tmp.name, "missing.torrent")], 1, b"missing.torrent"),
            ([self.tmp.name], 1, b"directory"),
            (["--", good], 0, b"Announce"),
        ]
        for args, status, text in cases:
            with self.subTest(" ".join(args)):
                result = run([CLI, "show"] + args, check=False)
                self.assertEqual(result.returncode, status, result.stderr)
                self.assertIn(text, result.stdout + result.stderr)


def main():
    global CLI, SET_COMMENT
    parser = argparse.ArgumentParser()
    parser.add_argument("--cli", required=True)
    parser.add_argument("--set-comment", required=True)
    args, rest = parser.parse_known_args()
    CLI, SET_COMMENT = args.cli, args.set_comment
    unittest.main(argv=[sys.argv[0]] + rest, verbosity=2)


if __name__ == "__main__":
    main()
