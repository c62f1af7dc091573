"""All six services called from eight Java threads at once, in one real JVM, with relative and
absolute names: every output must be what a single-threaded call makes, every file's mode what
the umask gives, and the process's current directory and umask must be unchanged at the end."""

import os
import shutil
import stat
import struct
import subprocess
import unittest

from tavolin_e2e import DATA, java_command, require_tool, run_java, temp_folder

THREADS = 8
ROUNDS = 6


def cabinet_file_sizes(data):
    """The sizes in the file table of a one-cabinet set, read straight from the header."""
    if data[:4] != b"MSCF":
        raise AssertionError("not a cabinet")
    first_file = struct.unpack_from("<I", data, 16)[0]
    count = struct.unpack_from("<H", data, 28)[0]
    sizes, at = [], first_file
    for _ in range(count):
        sizes.append(struct.unpack_from("<I", data, at)[0])
        at = data.index(b"\0", at + 16) + 1
    return sizes


class ManyThreads(unittest.TestCase):
    def test_eight_threads_calling_every_service_at_once(self):
        sox = require_tool("sox")
        cabextract = require_tool("cabextract")
        with temp_folder() as root:
            work = root / "work"
            work.mkdir()
            wav = root / "tone.wav"
            subprocess.run([sox, "-n", "-r", "22050", "-b", "16", "-c", "2", str(wav),
                            "synth", "0.5", "sine", "440"], check=True)
            # A desktop with no associations and a default action that does nothing, so that
            # showFile starts nothing on the test machine.
            bin_folder = root / "bin"
            bin_folder.mkdir()
            (bin_folder / "xdg-open").write_text("#!/bin/sh\nexit 0\n")
            (bin_folder / "xdg-open").chmod(0o755)
            empty = root / "xdg"
            empty.mkdir()
            env = {"PATH": "%s:%s" % (bin_folder, os.environ["PATH"]),
                   "XDG_DATA_HOME": str(empty), "XDG_DATA_DIRS": str(empty),
                   "XDG_CONFIG_HOME": str(empty), "XDG_CONFIG_DIRS": str(empty)}
            env.pop("DISPLAY", None)
            previous = os.umask(0o027)
            try:
                process = run_java("ManyThreads", str(THREADS), str(ROUNDS),
                                   str(DATA / "image" / "im_noise.gif"), str(wav),
                                   cwd=work, env=env, timeout=300)
            finally:
                os.umask(previous)
            self.assertEqual(process.returncode, 0, process.stdout + process.stderr)
            report = dict(line.split("=", 1) for line in process.stdout.splitlines()
                          if "=" in line)
            self.assertEqual(report.get("failures"), "0", process.stdout)
            self.assertEqual(report.get("cwd"), str(work.resolve()))
            self.assertEqual(report.get("umask"), "0027")

            references = {kind: (work / ("ref." + kind)).read_bytes()
                          for kind in ("gif", "jpg", "au")}
            self.assertNotEqual(references["gif"], (DATA / "image" / "im_noise.gif").read_bytes())
            for t in range(THREADS):
                folder = work / ("t%d" % t)
                for r in range(ROUNDS):
                    with self.subTest(thread=t, round=r):
                        cabinet = folder / ("c%d.cab" % r)
                        self.assertEqual(cabinet_file_sizes(cabinet.read_bytes()), [100 + t])
                        subprocess.run([cabextract, "-q", "-t", str(cabinet)], check=True,
                                       capture_output=True)
                        for kind, prefix in (("gif", "g"), ("jpg", "j"), ("au", "a")):
                            output = folder / ("%s%d.%s" % (prefix, r, kind))
                            self.assertEqual(output.read_bytes(), references[kind], output)
                        for output in folder.iterdir():
                            mode = stat.S_IMODE(output.stat().st_mode)
                            self.assertEqual(mode, 0o640, "%s has mode %o" % (output, mode))
                # Nothing but the thread's own outputs: no temporary file left behind, no file
                # of another thread's folder.
                names = sorted(p.name for p in folder.iterdir())
                expected = sorted(["same.txt"] + ["%s%d.%s" % (p, r, k) for r in range(ROUNDS)
                                                  for p, k in (("c", "cab"), ("g", "gif"),
                                                               ("j", "jpg"), ("a", "au"))])
                self.assertEqual(names, expected)
            self.assertEqual(sorted(p.name for p in work.iterdir() if p.is_file()),
                             ["ref.au", "ref.gif", "ref.jpg"])


class UnreadableCurrentDirectory(unittest.TestCase):
    """makeCab and showFile called from a directory that may be entered but not read: they must
    work and leave that directory current. Root reads any directory, so as root the program runs
    as the user nobody."""

    def test_make_cab_and_show_file_from_a_directory_that_cannot_be_read(self):
        with temp_folder() as root:
            root.chmod(0o755)
            cab = root / "cab"
            cab.mkdir()
            (cab / "a.txt").write_text("alpha\n")
            cab.chmod(0o777)
            here = root / "noread"
            here.mkdir()
            here.chmod(0o333)
            empty = root / "xdg"
            empty.mkdir()
            env = dict(os.environ, XDG_DATA_HOME=str(empty), XDG_DATA_DIRS=str(empty),
                       XDG_CONFIG_HOME=str(empty), XDG_CONFIG_DIRS=str(empty), HOME=str(empty))
            command = java_command("CallsFromHere", str(cab), "x.cab", "a.txt", str(cab), "a.txt")
            # The VM's own performance-data file is made with a change of directory that cannot
            # come back to an unreadable one; without it, what changes the directory is ours.
            command.insert(1, "-XX:-UsePerfData")
            if os.geteuid() == 0:
                setpriv = require_tool("setpriv")
                command = [setpriv, "--reuid=65534", "--regid=65534", "--clear-groups"] + command
            try:
                process = subprocess.run(command, cwd=here, env=env, capture_output=True,
                                         text=True, timeout=120)
            finally:
                here.chmod(0o755)
            self.assertEqual(process.returncode, 0, process.stdout + process.stderr)
            self.assertIn("makeCab=1\n", process.stdout)
            self.assertIn("showFile=1\n", process.stdout)
            self.assertIn("cwd=%s\n" % here.resolve(), process.stdout)
            self.assertTrue((cab / "x.cab").is_file())


if __name__ == "__main__":
    unittest.main()
