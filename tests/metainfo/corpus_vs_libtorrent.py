#!/usr/bin/env python3
"""The fixture corpus against libtorrent (and transmission-show when it is
installed): what peers load as it stands must load clean (show exits 0, same
info hash, file count and total length), what they refuse or rewrite must be
reported (show exits 1) and refused by edit, which leaves the file as it was.
The committed corpus must be what make_fixtures.py writes."""

import argparse
import filecmp
import json
import os
import shutil
import subprocess
import sys
import tempfile

import libtorrent as lt

HERE = os.path.dirname(os.path.abspath(__file__))


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--cli", required=True)
    args = parser.parse_args()
    corpus = os.path.join(HERE, "corpus")
    failures = []

    with tempfile.TemporaryDirectory() as fresh:
        subprocess.run([sys.executable, os.path.join(HERE, "make_fixtures.py"), fresh], check=True)
        names = sorted(os.listdir(fresh))
        if names != sorted(os.listdir(corpus)):
            failures.append("corpus folder and make_fixtures.py list different files")
        for name in names:
            if not filecmp.cmp(os.path.join(fresh, name), os.path.join(corpus, name), shallow=False):
                failures.append(f"{name}: committed file differs from what make_fixtures.py writes")

    transmission = shutil.which("transmission-show")
    with open(os.path.join(corpus, "verdicts.txt")) as f:
        verdicts = [line.split() for line in f if line.strip()]

    with tempfile.TemporaryDirectory() as work:
        for name, verdict in verdicts:
            path = os.path.join(corpus, name + ".torrent")
            data = open(path, "rb").read()
            try:
                info = lt.torrent_info(data)
            except RuntimeError:
                info = None
            show = subprocess.run([args.cli, "show", "--json", path], capture_output=True)
            ours = json.loads(show.stdout) if show.stdout else None

            def fail(what):
                failures.append(f"{name} ({verdict}): {what}")

            if verdict in ("accept", "lt-only", "rewrite") and info is None:
                fail("libtorrent refuses it")
            if verdict in ("reject", "trans-only") and info is not None:
                fail("libtorrent loads it")
            if transmission and verdict in ("accept", "trans-only", "lt-only"):
                loads = subprocess.run([transmission, path], capture_output=True).returncode == 0
                if loads != (verdict != "lt-only"):
                    fail("transmission-show " + ("loads" if loads else "refuses") + " it")
            if verdict in ("accept", "lt-only", "trans-only"):
                if show.returncode != 0:
                    fail(f"show exits {show.returncode}: {show.stderr.decode(errors='replace').strip()}")
                if verdict != "trans-only" and ours:
                    if ours["info_hash"] != str(info.info_hash()):
                        fail(f"info hash {ours['info_hash']}, libtorrent {info.info_hash()}")
                    if len(ours["files"]) != info.num_files():
                        fail(f"{len(ours['files'])} files, libtorrent {info.num_files()}")
                    if ours["total_length"] != info.total_size():
                        fail(f"total length {ours['total_length']}, libtorrent {info.total_size()}")
                    pads = [f.get("pad", False) for f in ours["files"]]
                    lt_pads = [bool(int(info.files().file_flags(i)) & 1) for i in range(info.num_files())]
                    if pads != lt_pads:
                        fail(f"padding {pads}, libtorrent {lt_pads}")
            else:
                if show.returncode != 1:
                    fail(f"show exits {show.returncode}, not 1")
                if len(show.stderr.decode(errors="replace").strip().splitlines()) != 1:
                    fail("show does not say why in one line")
                copy = os.path.join(work, name + ".torrent")
                shutil.copyfile(path, copy)
                edit = subprocess.run([args.cli, "edit", copy, "--comment", "x"], capture_output=True)
                if edit.returncode == 0:
                    fail("edit saved it")
                if open(copy, "rb").read() != data:
                    fail("edit changed the file")
                if len(os.listdir(work)) != 1:
                    fail("edit left a file behind")
                os.remove(copy)

    for failure in failures:
        print("FAIL", failure)
    print(f"{len(verdicts)} fixtures, {len(failures)} failures")
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
