"""Other people's cabinet readers as the judges of our cabinets: cabextract (every checksum),
7-Zip (folders, set identifier, dates, attributes), bsdtar and gcab (contents). Shared by the
Linux end-to-end tests and the Windows ones under Wine."""

import os
import random
import re
import subprocess
import time
import unittest

from tavolin_e2e import require_tool, temp_folder


class CabinetTest(unittest.TestCase):
    """A test with a temporary folder of its own, `root`, for the sources and the cabinets."""

    def setUp(self):
        self.folder_context = temp_folder()
        self.root = self.folder_context.__enter__()

    def tearDown(self):
        self.folder_context.__exit__(None, None, None)

    def write(self, name, data):
        path = self.root / name
        path.parent.mkdir(parents=True, exist_ok=True)
        path.write_bytes(data)
        return path


def write_mixed_set(test, space_plus):
    """Writes the mixed set into test.root: short text, text and noise spanning several blocks,
    an empty file, a file of whole blocks, a read-only file, one in a subfolder, names with plus
    signs (with `space_plus`, also " +"). Returns ({name: bytes}, the entries in three folders with
    "+" between them, {name: folder number as 7-Zip lists it}); names use "/"."""
    rng = random.Random(7)
    contents = {
        "a.txt": b"alpha\n",
        "b.txt": b"beta\n" * 1000,
        "big.bin": bytes(rng.getrandbits(8) for _ in range(70000)) + b"text " * 20000,
        "empty": b"",
        "exact": b"0123456789abcdef" * 2048,
        "read-only.txt": b"cannot be changed\n",
        "sub/s.txt": b"in a subfolder\n",
        "+x": b"a plus sign and a letter\n",
    }
    if space_plus:
        contents[" +"] = b"a space and a plus sign\n"
    for name, data in contents.items():
        test.write(name, data)
    os.chmod(test.root / "read-only.txt", 0o444)
    entries = ["a.txt", "+", "b.txt", "big.bin", "empty", "exact", "+", *list(contents)[5:]]
    folders = {name: "0" if name == "a.txt" else "1" if i < 5 else "2"
               for i, name in enumerate(contents)}
    return contents, entries, folders


def seven_zip_listing(cabinet):
    """(archive properties, [file properties]) from `7z l -slt`."""
    output = subprocess.run([require_tool("7z"), "l", "-slt", str(cabinet)], check=True,
                            capture_output=True, text=True).stdout
    head, _, body = output.partition("\n----------\n")

    def properties(text):
        return dict(re.findall(r"^(\S[^=\n]*?) = (.*)$", text, re.MULTILINE))

    archive = properties(head.split("\n--\n")[-1])
    files = [properties(block) for block in body.split("\n\n") if block.strip()]
    return archive, files


def dos_time_text(path):
    """The file's local last-write time as a cabinet holds it (2-second steps)."""
    local = time.localtime(os.stat(path).st_mtime)
    return time.strftime("%Y-%m-%d %H:%M:", local) + "%02d" % (local.tm_sec // 2 * 2)


def check_every_reader(test, cabinet, expected, work, bsdtar_cabinet=None):
    """cabextract -t and 7z t find no fault, and 7z, bsdtar and gcab each extract the `expected`
    contents ({name: bytes}) into a folder of their own in `work`. `bsdtar_cabinet`: the copy
    that bsdtar reads instead, where the cabinet has a header bsdtar refuses."""
    tested = subprocess.run([require_tool("cabextract"), "-t", str(cabinet)],
                            capture_output=True, text=True)
    test.assertEqual(tested.returncode, 0, tested.stdout + tested.stderr)
    test.assertIn("All done, no errors.", tested.stdout)
    tested = subprocess.run([require_tool("7z"), "t", str(cabinet)], capture_output=True,
                            text=True)
    test.assertEqual(tested.returncode, 0, tested.stdout + tested.stderr)
    for_bsdtar = str(bsdtar_cabinet or cabinet)
    for tool, command in [
            ("7z", lambda out: [require_tool("7z"), "x", "-o" + out, str(cabinet)]),
            ("bsdtar", lambda out: [require_tool("bsdtar"), "-xf", for_bsdtar, "-C", out]),
            ("gcab", lambda out: [require_tool("gcab"), "-x", "-C", out, str(cabinet)])]:
        out = work / ("extracted-" + tool)
        out.mkdir()
        subprocess.run(command(str(out)), check=True, capture_output=True)
        for name, data in expected.items():
            with test.subTest(tool=tool, name=name):
                test.assertEqual((out / name).read_bytes(), data)


def check_listing(test, cabinet, sources, paths, folders, volume_index, read_only):
    """7-Zip's listing of a cabinet made with set identifier 12345: its header number
    `volume_index`, its size, the files in the order of `paths`, and for each name in `folders`
    its folder, MSZIP, the size and last write of its source in `sources`, and the attributes
    (read-only only for `read_only`)."""
    archive, files = seven_zip_listing(cabinet)
    test.assertEqual(archive["ID"], "12345")
    test.assertEqual(archive["Blocks"], str(len(set(folders.values()))))
    test.assertEqual(archive["Volume Index"], volume_index)
    test.assertEqual(archive["Physical Size"], str(cabinet.stat().st_size))
    test.assertEqual([f["Path"] for f in files], paths)
    by_name = {f["Path"]: f for f in files}
    for name, folder in folders.items():
        with test.subTest(name=name):
            entry = by_name[name]
            test.assertEqual(entry["Block"], folder)
            test.assertEqual(entry["Method"], "MSZip")
            test.assertEqual(entry["Size"], str((sources / name).stat().st_size))
            test.assertEqual(entry["Modified"], dos_time_text(sources / name))
            test.assertEqual(entry["Attributes"], "RA" if name == read_only else "A")
