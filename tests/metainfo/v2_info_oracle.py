# libtorrent's v2-only and hybrid torrents of the given paths, for the writer tests.
# Each argument is PATH:PIECE_LENGTH:FORMAT:EXTRA (FORMAT v2 or hybrid; EXTRA "-", "symlinks" to
# keep links as links, or "private", which also adds the "source" key "SRC" as qBittorrent does,
# after libtorrent made the info). Prints, per argument, one line:
# the info's bytes, the piece layers' bytes, the v1 and the v2 info hash (all hex, "-" for none)
# and the magnet link's xt parameters.
import os
import sys

import libtorrent as lt


def make(path, piece_length, fmt, extra):
    fs = lt.file_storage()
    links = lt.create_torrent.symlinks if extra == "symlinks" else 0
    lt.add_files(fs, path, flags=links)
    flags = (lt.create_torrent.v2_only if fmt == "v2" else 0) | links
    ct = lt.create_torrent(fs, piece_length, flags=flags)
    if extra == "private":
        ct.set_priv(True)
    lt.set_piece_hashes(ct, os.path.dirname(path))
    e = ct.generate()
    if extra == "private":
        e[b"info"][b"source"] = b"SRC"
    info = lt.bencode(e[b"info"])
    layers = lt.bencode(e.get(b"piece layers", {}))
    ti = lt.torrent_info(lt.bencode(e))
    hashes = ti.info_hashes()
    v1 = str(hashes.v1) if hashes.has_v1() else "-"
    v2 = str(hashes.v2) if hashes.has_v2() else "-"
    xt = "&".join(p for p in lt.make_magnet_uri(ti).split("?", 1)[1].split("&") if p.startswith("xt="))
    return " ".join([info.hex(), layers.hex(), v1, v2, xt])


for arg in sys.argv[1:]:
    path, piece_length, fmt, extra = arg.rsplit(":", 3)
    print(make(path, int(piece_length), fmt, extra))
