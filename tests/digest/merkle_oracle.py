# Independent merkle roots and piece layers for the digest tests: hashlib by hand, and
# libtorrent's own when it can make a v2 torrent. Arguments: pairs of file and piece length.
# Prints "root layer-hex" per pair from hashlib, then (prefixed "lt ") from libtorrent.
import hashlib
import os
import sys


def sha(b):
    return hashlib.sha256(b).digest()


def reduce(nodes, width, pad):
    while width > 1:
        if len(nodes) % 2:
            nodes = nodes + [pad]
        nodes = [sha(nodes[i] + nodes[i + 1]) for i in range(0, len(nodes), 2)]
        pad = sha(pad + pad)
        width //= 2
    return nodes[0] if nodes else pad


def pow2(n):
    w = 1
    while w < n:
        w *= 2
    return w


def by_hand(path, plen):
    data = open(path, "rb").read()
    leaves = [sha(data[i:i + 16384]) for i in range(0, len(data), 16384)]
    per = plen // 16384
    if len(leaves) <= per:
        return reduce(leaves, pow2(len(leaves)), bytes(32)), b""
    layer = [reduce(leaves[i:i + per], per, bytes(32)) for i in range(0, len(leaves), per)]
    return reduce(layer, pow2(len(layer)), reduce([], per, bytes(32))), b"".join(layer)


def by_libtorrent(path, plen):
    import libtorrent as lt
    fs = lt.file_storage()
    lt.add_files(fs, path)
    ct = lt.create_torrent(fs, plen, flags=lt.create_torrent.v2_only)
    lt.set_piece_hashes(ct, os.path.dirname(path))
    e = ct.generate()
    node = e[b"info"][b"file tree"][os.path.basename(path).encode()][b""]
    root = node[b"pieces root"]
    return root, e.get(b"piece layers", {}).get(root, b"")


pairs = [(sys.argv[i], int(sys.argv[i + 1])) for i in range(1, len(sys.argv), 2)]
for path, plen in pairs:
    root, layer = by_hand(path, plen)
    print(root.hex(), layer.hex() or "-")
try:
    for path, plen in pairs:
        root, layer = by_libtorrent(path, plen)
        print("lt", root.hex(), layer.hex() or "-")
except ImportError:
    pass
