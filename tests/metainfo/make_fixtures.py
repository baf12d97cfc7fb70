#!/usr/bin/env python3
"""Writes the corpus of small .torrent files the loader is checked on, and
verdicts.txt: one line per file, "NAME VERDICT", where VERDICT is what peers do
with the file:
  accept   libtorrent and transmission-show load it as it stands
  reject   libtorrent refuses it
  rewrite  libtorrent loads it only by reading it otherwise than it stands
           (file names rewritten, the first of two "info" keys taken)
  lt-only     libtorrent loads it, transmission-show refuses it
  trans-only  libtorrent refuses it, transmission-show loads it
Neither counts as damage: some client takes the file as it stands.
Run it again after changing a case: python3 make_fixtures.py OUTDIR"""

import os
import sys


def S(b):
    if isinstance(b, str):
        b = b.encode()
    return str(len(b)).encode() + b":" + b


def I(v):
    return b"i" + str(v).encode() + b"e"


def L(*items):
    return b"l" + b"".join(items) + b"e"


def D(*entries):  # in the order given
    return b"d" + b"".join(S(k) + v for k, v in entries) + b"e"


def H(n):  # n distinct fake piece hashes
    return b"".join(bytes((p * 31 + i * 7) & 0xFF for i in range(20)) for p in range(1, n + 1))


def single(name="movie.bin", length=5, pl=16384, pieces=None, extra=()):
    return D(("length", I(length)), ("name", S(name)), ("piece length", I(pl)),
             ("pieces", S(H(1) if pieces is None else pieces)), *extra)


def entry(path, length=5, extra=()):
    return D(*extra, ("length", I(length)), ("path", L(*[S(p) for p in path])))


def multi(entries, name="top", pl=16384, pieces=None, extra=()):
    return D(("files", L(*entries)), ("name", S(name)), ("piece length", I(pl)),
             ("pieces", S(H(1) if pieces is None else pieces)), *extra)


def torrent(info, announce=True, head=(), tail=()):
    kv = [("announce", S("http://tracker.example/announce"))] if announce else []
    return D(*kv, *head, ("info", info), *tail)


FIVE = multi([entry(["cd1", "one.flac"], 40000), entry(["cd1", "two.flac"], 30000),
              entry(["cover.jpg"], 2000), entry(["notes", "read me.txt"], 100), entry(["z.nfo"], 7)],
             name="album", pieces=H(5), extra=[("private", I(1))])

CASES = [
    # name, verdict, bytes
    ("good-single", "accept", torrent(single())),
    ("good-five-files", "accept",
     torrent(FIVE, head=[("announce-list", L(L(S("http://tracker.example/announce")), L(S("udp://b.example:80"))))],
             tail=[("url-list", L(S("http://web.example/")))])),
    ("no-announce", "accept", torrent(single(), announce=False)),
    ("flat-announce-list", "accept",
     torrent(single(), head=[("announce-list", L(S("http://u1.example/a"), S("http://u2.example/a")))])),
    ("pad-file", "accept",
     torrent(multi([entry(["a"], 3), entry([".pad", "16381"], 16381, [("attr", S("p"))]), entry(["b"], 5)],
                   pieces=H(2)))),
    ("symlink", "accept",
     torrent(multi([entry(["a"], 5),
                    D(("attr", S("l")), ("length", I(7)), ("path", L(S("link"))), ("symlink path", L(S("a"))))]))),
    ("info-mark-keys", "accept",
     torrent(single(), tail=[("_info_length", I(999999999)), ("_info_start", I(-5))])),
    ("odd-piece-length", "lt-only", torrent(single(pl=16385))),
    ("piece-length-2^31", "trans-only", torrent(single(pl=2 ** 31))),
    ("pieces-3-bytes", "reject", torrent(single(pieces=b"abc"))),
    ("pieces-41-bytes", "reject", torrent(single(pieces=H(2) + b"z"))),
    ("too-few-pieces", "reject", torrent(single(length=40000))),
    ("too-many-pieces", "reject", torrent(single(length=5, pieces=H(2)))),
    ("one-piece-for-1.76TB", "reject", torrent(single(length=1760000000000, pl=2 ** 24))),
    ("piece-length-0", "reject", torrent(single(pl=0))),
    ("piece-length-negative", "reject", torrent(single(pl=-16384))),
    ("piece-length-2^32", "reject", torrent(single(pl=2 ** 32))),
    ("negative-length", "reject", torrent(single(length=-5))),
    ("negative-file-length", "reject", torrent(multi([entry(["a"], -5), entry(["b"], 10)]))),
    ("total-length-0", "reject", torrent(single(length=0, pieces=b""))),
    ("empty-files-list", "reject", torrent(multi([], pieces=b""))),
    ("empty-name", "reject", torrent(single(name=""))),
    ("name-dotdot", "reject", torrent(single(name=".."))),
    ("empty-path-list", "reject", torrent(multi([entry([]), entry(["c"])]))),
    ("path-empty-component", "rewrite", torrent(multi([entry(["", "a"])]))),
    ("path-dot", "rewrite", torrent(multi([entry([".", "a"])]))),
    ("path-dotdot", "rewrite", torrent(multi([entry(["..", "..", "etc", "passwd"])]))),
    ("path-absolute", "rewrite", torrent(multi([entry(["/etc", "passwd"])]))),
    ("path-slash-inside", "rewrite", torrent(multi([entry(["x/y", "a"])]))),
    ("path-nul", "rewrite", torrent(multi([entry(["x\0y"])]))),
    ("name-nul", "rewrite", torrent(single(name="a\0b"))),
    ("two-info-keys", "rewrite",
     b"d8:announce1:a4:info" + single(name="first") + b"4:info" + single(name="second") + b"e"),
    ("cut-in-pieces", "reject", torrent(FIVE)[:300]),
    ("top-level-list", "reject", b"l4:spame"),
    ("not-bencoded", "reject", b"<html>not a torrent</html>"),
]


def main():
    out = sys.argv[1] if len(sys.argv) > 1 else os.path.join(os.path.dirname(__file__), "corpus")
    os.makedirs(out, exist_ok=True)
    with open(os.path.join(out, "verdicts.txt"), "w") as verdicts:
        for name, verdict, data in CASES:
            with open(os.path.join(out, name + ".torrent"), "wb") as f:
                f.write(data)
            verdicts.write(f"{name} {verdict}\n")


if __name__ == "__main__":
    main()
