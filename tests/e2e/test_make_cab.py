"""Cabinets made through the real JVM and read back by other people's tools: cabextract (every
checksum), 7-Zip (folders, set identifier, dates, attributes), bsdtar and gcab (contents)."""

import random
import subprocess
import unittest
import zlib

from cabinet_oracle import (CabinetTest, check_every_reader, check_listing, seven_zip_listing,
                            write_mixed_set)
from tavolin_e2e import call, require_tool, run_java


class MakeCab(CabinetTest):
    def make_cab(self, entries, name="out.cab", env=None):
        result, process = call("makeCab", str(self.root), name, *entries, env=env)
        self.assertEqual(result, 1)
        return process.stdout.replace("result=1\n", "")

    def check_every_reader(self, cabinet, expected):
        check_every_reader(self, cabinet, expected, self.root)

    def test_a_mixed_set_reads_back_everywhere(self):
        contents, entries, folders = write_mixed_set(self, space_plus=True)
        self.assertEqual(self.make_cab(entries), "")
        cabinet = self.root / "out.cab"

        self.check_every_reader(cabinet, contents)
        check_listing(self, cabinet, self.root, [e for e in entries if e != "+"], folders,
                      volume_index="0", read_only="read-only.txt")

    def test_blocks_with_history_read_back_everywhere_whatever_the_threads(self):
        """Many blocks per folder, each compressed with the previous one as its history, on 1, 2
        and 8 threads: the same bytes, and every reader gets the sources back."""
        rng = random.Random(11)
        noise = bytes(rng.getrandbits(8) for _ in range(32768))
        words = [b"cabinet", b"folder", b"block", b"window", b"reader", b"history"]
        text = b"".join(b"%d %s\n" % (i, b" ".join(rng.choice(words) for _ in range(5)))
                        for i in range(60000))
        contents = {
            "text.txt": text,
            # Most of the noise again within reach of the block after it.
            "repeat.bin": noise + noise[1000:] + noise[:5000],
            "noise.bin": bytes(rng.getrandbits(8) for _ in range(100000)),
            "tail.txt": text[:70001],
            "after-break.bin": noise,
        }
        for name, data in contents.items():
            self.write(name, data)
        entries = ["text.txt", "repeat.bin", "noise.bin", "tail.txt", "+", "after-break.bin"]
        cabinets = {}
        for threads in ["1", "2", "8"]:
            name = "threads-%s.cab" % threads
            self.assertEqual(self.make_cab(entries, name, env={"TAVOLIN_CAB_THREADS": threads}),
                             "")
            cabinets[threads] = (self.root / name).read_bytes()
        self.assertEqual(cabinets["2"], cabinets["1"])
        self.assertEqual(cabinets["8"], cabinets["1"])
        # The history pays: smaller than the sources compressed block by block on their own.
        alone = 0
        for folder in [entries[:4], entries[5:]]:
            data = b"".join(contents[e] for e in folder)
            for at in range(0, len(data), 32768):
                packer = zlib.compressobj(6, zlib.DEFLATED, -15)
                block = data[at:at + 32768]
                alone += min(len(packer.compress(block) + packer.flush()), len(block) + 5)
        archive, _ = seven_zip_listing(self.root / "threads-1.cab")
        self.assertEqual(archive["Blocks"], "2")
        self.assertLess(len(cabinets["1"]), alone)
        self.check_every_reader(self.root / "threads-8.cab", contents)

    def test_without_a_break_every_file_shares_one_folder(self):
        self.write("a.txt", b"alpha\n")
        self.write("b.txt", b"beta\n")
        self.assertEqual(self.make_cab(["a.txt", "b.txt"]), "")
        archive, files = seven_zip_listing(self.root / "out.cab")
        self.assertEqual(archive["Blocks"], "1")
        self.assertEqual([f["Block"] for f in files], ["0", "0"])

    def test_an_empty_list_makes_an_empty_cabinet(self):
        self.assertEqual(self.make_cab([]), "")
        cabinet = self.root / "out.cab"
        self.assertEqual(cabinet.stat().st_size, 36)
        listed = subprocess.run([require_tool("gcab"), "-t", str(cabinet)], capture_output=True,
                                text=True)
        self.assertEqual((listed.returncode, listed.stdout), (0, ""))
        archive, files = seven_zip_listing(cabinet)
        self.assertEqual(files, [])

    def test_a_missing_file_stops_the_build(self):
        self.write("a.txt", b"alpha\n")
        self.write("c.txt", b"gamma\n")
        printed = self.make_cab(["a.txt", "missing.txt", "c.txt"])
        self.assertEqual(printed, "FCIAddFile() failed: code 1 "
                                  "[Failure opening file to be stored in cabinet]\n")
        self.assertFalse((self.root / "out.cab").exists())

    def test_the_current_directory_comes_back_after_success_and_failure(self):
        cabinets = self.root / "cabinets"
        start = self.root / "start"
        start.mkdir()
        (start / "marker.txt").write_bytes(b"marker")
        self.write("cabinets/a.txt", b"alpha\n")
        process = run_java("CabDirectory", str(cabinets), cwd=start)
        lines = [line for line in process.stdout.splitlines() if "=" in line]
        self.assertEqual(lines, ["before=6", "afterSuccess=6", "afterFailure=6"], process.stderr)
        self.assertTrue((cabinets / "ok.cab").exists())
        self.assertFalse((cabinets / "failed.cab").exists())

    def test_a_cabinet_name_longer_than_255_characters_is_refused(self):
        self.write("a.txt", b"alpha\n")
        self.assertEqual(self.make_cab(["a.txt"], name="n" * 252 + ".cab"), "")
        self.assertEqual(sorted(p.name for p in self.root.iterdir()), ["a.txt"])


if __name__ == "__main__":
    unittest.main()
