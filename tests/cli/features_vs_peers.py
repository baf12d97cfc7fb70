#!/usr/bin/python3
"""Private flag, source, web seeds, tiers, magnet links, edits and verify, checked
against libtorrent and mktorrent.

Usage: features_vs_peers.py QUORVANE_CLI
"""
import hashlib
import json
import os
import random
import subprocess
import sys
import tempfile
import unittest
import warnings

import libtorrent as lt

warnings.simplefilter("ignore", DeprecationWarning)
CLI = None


def cli(*args, check=0):
    p = subprocess.run([CLI, *args], capture_output=True, timeout=300, stdin=subprocess.DEVNULL)
    if check is not None and p.returncode != check:
        raise AssertionError("%s: exit %d, expected %d\nstdout: %r\nstderr: %r" %
                             (args, p.returncode, check, p.stdout, p.stderr))
    return p


def info_hash(path):
    return str(lt.torrent_info(path).info_hashes().v1)


def raw_info(path):
    with open(path, "rb") as f:
        return lt.bdecode(f.read())[b"info"]


def tiers(path):
    by_tier = {}
    for t in lt.torrent_info(path).trackers():
        by_tier.setdefault(t.tier, []).append(t.url)
    return [by_tier[k] for k in sorted(by_tier)]


class Features(unittest.TestCase):
    def setUp(self):
        self.tmp = tempfile.TemporaryDirectory(prefix="quorvane-features-")
        self.dir = self.tmp.name
        rng = random.Random(14)
        self.data = os.path.join(self.dir, "Album")
        self.sizes = {"a.bin": 100000, "b.bin": 700000, "c.bin": 50000}
        os.makedirs(self.data)
        for name, size in self.sizes.items():
            with open(os.path.join(self.data, name), "wb") as f:
                f.write(rng.randbytes(size))

    def tearDown(self):
        self.tmp.cleanup()

    def path(self, name):
        return os.path.join(self.dir, name)

    def mktorrent(self, out, *flags):
        subprocess.run(["mktorrent", "-l", "18", "-d", "-a", "http://t.example/announce", "-o", out, *flags,
                        self.data], check=True, capture_output=True)
        return out

    def test_libtorrent_reads_what_create_writes(self):
        out = self.path("made.torrent")
        p = cli("create", "-qp", "-s", "SRC tag", "-w", "http://w1.example/", "--web-seed=http://w2.example/",
                "-a", "http://t1.example/announce", "-b", "udp://t2.example:80", "-b", "http://t3.example/a",
                "--json", "-o", out, self.data)
        line = json.loads(p.stdout)
        ti = lt.torrent_info(out)
        self.assertTrue(ti.priv())
        self.assertEqual(raw_info(out)[b"source"], b"SRC tag")
        self.assertEqual([w["url"] for w in ti.web_seeds()], ["http://w1.example/", "http://w2.example/"])
        self.assertEqual(tiers(out), [["http://t1.example/announce"], ["udp://t2.example:80"],
                                      ["http://t3.example/a"]])
        self.assertEqual(line["info_hash"], info_hash(out))
        self.assertEqual((line["output"], line["name"], line["private"], line["source"]),
                         (out, "Album", True, "SRC tag"))
        self.assertEqual((line["piece_count"], line["total_length"]), (ti.num_pieces(), ti.total_size()))
        magnet = lt.parse_magnet_uri(line["magnet"])
        self.assertEqual(str(magnet.info_hashes.v1), info_hash(out))
        self.assertEqual(magnet.name, "Album")
        self.assertEqual(sorted(magnet.trackers),
                         sorted(["http://t1.example/announce", "udp://t2.example:80", "http://t3.example/a"]))

    def test_info_hashes_match_mktorrent(self):
        # The same data, piece length and no date: -p and -s must give mktorrent's info hash.
        single = os.path.join(self.data, "b.bin")
        cases = [
            ("private and source", ["-p", "-s", "SRC"], ["-p", "-s", "SRC"], self.data),
            ("private", ["-p"], ["-p"], self.data),
            ("source", ["-s", "tracker.example"], ["-s", "tracker.example"], self.data),
            ("single file, private and source", ["-p", "-s", "SRC"], ["-p", "-s", "SRC"], single),
        ]
        for name, ours, theirs, target in cases:
            with self.subTest(name):
                mk, qv = self.path("mk.torrent"), self.path("qv.torrent")
                subprocess.run(["mktorrent", "-l", "18", "-d", "-a", "http://t.example/announce", "-o", mk,
                                *theirs, target], check=True, capture_output=True)
                cli("create", "-qf", "-l", "256k", "--no-date", "-a", "http://t.example/announce", *ours,
                    "-o", qv, target)
                self.assertEqual(info_hash(qv), info_hash(mk))
                os.remove(mk)

    def test_piece_lengths_match_mktorrent(self):
        # -l as bytes, with a unit or as mktorrent's exponent: the torrent mktorrent makes with that exponent.
        cases = [("15", 15), ("64k", 16), ("1048576", 20), ("4MiB", 22), ("64m", 26)]
        for given, exponent in cases:
            with self.subTest(given):
                mk, qv = self.path("mk.torrent"), self.path("qv.torrent")
                subprocess.run(["mktorrent", "-l", str(exponent), "-d", "-a", "http://t.example/announce",
                                "-o", mk, self.data], check=True, capture_output=True)
                cli("create", "-qf", "-l", given, "--no-date", "-a", "http://t.example/announce", "-o", qv,
                    self.data)
                self.assertEqual(raw_info(qv)[b"piece length"], 1 << exponent)
                self.assertEqual(info_hash(qv), info_hash(mk))
                os.remove(mk)

    def test_smallest_piece_length_hashes_every_16_kib(self):
        # Below what mktorrent makes: each piece checked against hashlib over the files in torrent order.
        out = self.path("small.torrent")
        cli("create", "-q", "-l", "16k", "-o", out, self.data)
        ti = lt.torrent_info(out)
        self.assertEqual(ti.piece_length(), 16384)
        data = b""
        for name in sorted(self.sizes):
            with open(os.path.join(self.data, name), "rb") as f:
                data += f.read()
        self.assertEqual(ti.num_pieces(), (len(data) + 16383) // 16384)
        for i in range(ti.num_pieces()):
            self.assertEqual(ti.hash_for_piece(i), hashlib.sha1(data[i * 16384:(i + 1) * 16384]).digest(), i)

    def test_announce_tiers_as_mktorrent(self):
        # Every -a a tier, "A,B" one tier of two: the same announce and announce-list as mktorrent's.
        announce = ["-a", "http://a.example/1,udp://b.example:1", "-a", "http://c.example/"]
        mk, qv = self.path("mk.torrent"), self.path("qv.torrent")
        subprocess.run(["mktorrent", "-l", "18", "-d", *announce, "-o", mk, self.data], check=True,
                       capture_output=True)
        cli("create", "-q", "-l", "18", "--no-date", *announce, "-o", qv, self.data)
        with open(mk, "rb") as f:
            theirs = lt.bdecode(f.read())
        with open(qv, "rb") as f:
            ours = lt.bdecode(f.read())
        self.assertEqual(ours[b"announce"], theirs[b"announce"])
        self.assertEqual(ours[b"announce-list"], theirs[b"announce-list"])
        # libtorrent shuffles the URLs inside a tier, as clients should.
        self.assertEqual([sorted(tier) for tier in tiers(qv)],
                         [["http://a.example/1", "udp://b.example:1"], ["http://c.example/"]])
        self.assertEqual(info_hash(qv), info_hash(mk))

    def test_edit_flags_give_the_info_hash_of_the_torrent_made_that_way(self):
        both = self.mktorrent(self.path("both.torrent"), "-p", "-s", "SRC")
        plain = self.mktorrent(self.path("plain.torrent"))
        source_only = self.mktorrent(self.path("source.torrent"), "-s", "NEW")
        cases = [
            ("private off, no source", ["--private", "off", "--no-source"], plain),
            ("private off, other source", ["--private=off", "--source", "NEW"], source_only),
        ]
        for name, args, expected in cases:
            with self.subTest(name):
                out = self.path("edited.torrent")
                p = cli("edit", both, "-f", "-o", out, *args)
                self.assertEqual(info_hash(out), info_hash(expected))
                self.assertEqual(p.stdout.decode().strip(), info_hash(out))
                self.assertIn(("info hash changes: %s -> %s; peers of the old torrent will not find this one" %
                               (info_hash(both), info_hash(out))).encode(), p.stderr)
        # And back: private on with the source again restores the first hash.
        out = self.path("back.torrent")
        cli("edit", plain, "-f", "-o", out, "--private", "on", "--source", "SRC")
        self.assertEqual(info_hash(out), info_hash(both))
        # Tracker and web seed edits keep it, silently.
        p = cli("edit", both, "-f", "-o", out, "--web-seed", "http://w.example/", "--add-tracker", "udp://u.example:1")
        self.assertEqual(info_hash(out), info_hash(both))
        self.assertNotIn(b"info hash changes", p.stderr)
        self.assertEqual([w["url"] for w in lt.torrent_info(out).web_seeds()], ["http://w.example/"])

    def test_tracker_edits_keep_tiers(self):
        src = self.path("tiers.torrent")
        cli("create", "-qf", "-a", "http://main.example/a?passkey=1", "-b", "http://b.example/a?passkey=1",
            "-o", src, self.data)
        cases = [
            (["--add-tracker", "udp://n.example:1"],
             [["http://main.example/a?passkey=1"], ["http://b.example/a?passkey=1"], ["udp://n.example:1"]]),
            (["--remove-tracker", "http://main.example/a?passkey=1"], [["http://b.example/a?passkey=1"]]),
            (["--replace-tracker", "passkey=1", "passkey=2"],
             [["http://main.example/a?passkey=2"], ["http://b.example/a?passkey=2"]]),
            (["--announce", "http://new.example/a"], [["http://new.example/a"], ["http://b.example/a?passkey=1"]]),
        ]
        for args, expected in cases:
            with self.subTest(" ".join(args)):
                out = self.path("out.torrent")
                cli("edit", src, "-f", "-o", out, *args)
                self.assertEqual(tiers(out), expected)
                self.assertEqual(info_hash(out), info_hash(src))

    def test_verify(self):
        torrent = self.mktorrent(self.path("Album.torrent"))
        p = cli("verify", torrent)
        self.assertIn(b"all 4 pieces match", p.stdout)
        # One flipped byte in b.bin, inside piece 1 (b.bin covers bytes 100000..799999).
        with open(os.path.join(self.data, "b.bin"), "r+b") as f:
            f.seek(300000)
            byte = f.read(1)
            f.seek(300000)
            f.write(bytes([byte[0] ^ 0x01]))
        p = cli("verify", torrent, check=1)
        self.assertEqual(p.stdout.decode().splitlines(),
                         ["damaged: b.bin: bytes 162144-424287 (piece 1)", "1 of 4 pieces do not match"])
        result = json.loads(cli("verify", "--json", torrent, self.data, check=1).stdout)
        self.assertEqual(result["bad_pieces"], [1])
        self.assertEqual([(f["path"], f["state"], f["first_bad_piece"]) for f in result["files"]],
                         [("b.bin", "damaged", 1)])
        # libtorrent agrees on which piece is bad.
        ses = lt.session({"enable_dht": False, "enable_lsd": False, "enable_upnp": False,
                          "enable_natpmp": False, "listen_interfaces": "127.0.0.1:0"})
        h = ses.add_torrent({"ti": lt.torrent_info(torrent), "save_path": self.dir})
        checked = (lt.torrent_status.downloading, lt.torrent_status.seeding, lt.torrent_status.finished)
        for _ in range(600):  # up to a minute
            if h.status().state in checked:
                break
            ses.wait_for_alert(100)
            ses.pop_alerts()
        self.assertIn(h.status().state, checked)
        self.assertEqual([i for i, have in enumerate(h.status().pieces) if not have], [1])


def main():
    global CLI
    CLI = sys.argv.pop(1)
    unittest.main(verbosity=2)


if __name__ == "__main__":
    main()
