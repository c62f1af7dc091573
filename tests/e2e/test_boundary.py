"""The native boundary seen from a real JVM: what Java strings become in the library, and the
exports that the library offers."""

import ctypes
import re
import subprocess
import unittest

from tavolin_e2e import OUT, run_java, temp_folder, java_escape


def convert(text, size=256):
    process = run_java("BoundaryProbe", "convert", str(size), java_escape(text))
    match = re.search(r"length=(\d+) bytes=([0-9a-f]*)", process.stdout)
    if not match:
        raise AssertionError(process.stdout + process.stderr)
    return int(match.group(1)), bytes.fromhex(match.group(2))


def load(name, cwd):
    process = run_java("BoundaryProbe", "load", java_escape(name), cwd=cwd)
    match = re.search(r"size=(-?\d+)", process.stdout)
    if not match:
        raise AssertionError(process.stdout + process.stderr)
    return int(match.group(1))


class StringConversion(unittest.TestCase):
    def test_characters_become_one_byte_each(self):
        cases = [
            ("ascii", "a.gif", 5, b"a.gif"),
            ("e acute is one byte", "\u00e9", 1, b"\xe9"),
            ("beyond U+00FF is a question mark", "x\u0100y\u20ac", 4, b"x?y?"),
            ("a supplementary character is two units", "\U0001F600", 2, b"??"),
            ("255 characters arrive whole", "n" * 255, 255, b"n" * 255),
            ("256 characters are cut to 255", "m" * 256, 256, b"m" * 255),
        ]
        for name, text, length, expected in cases:
            with self.subTest(name):
                self.assertEqual(convert(text), (length, expected))

    def test_the_buffer_size_bounds_the_conversion(self):
        self.assertEqual(convert("abcdef", 4), (6, b"abc"))


class FileNames(unittest.TestCase):
    def test_a_latin1_name_opens_the_file_whose_name_holds_it(self):
        with temp_folder() as folder:
            (folder / "caf\u00e9.wav").write_bytes(b"12345")
            self.assertEqual(load("caf\u00e9.wav", folder), 5)
            self.assertEqual(load("cafe.wav", folder), -1)

    def test_a_255_character_name_is_used_and_a_longer_one_refused(self):
        with temp_folder() as folder:
            name = "d" * 251 + ".bin"
            (folder / name).write_bytes(b"abc")
            self.assertEqual(load(name, folder), 3)
            # The 256-character name whose first 255 characters name an existing file must not
            # reach that file.
            self.assertEqual(load(name + "x", folder), -2)


class Exports(unittest.TestCase):
    def test_interface_version(self):
        library = ctypes.CDLL(str(OUT / "libKestrilo.so"))
        library.RNIGetCompatibleVersion.restype = ctypes.c_int32
        self.assertEqual(library.RNIGetCompatibleVersion(), 0x00020000)

    def test_the_library_exports_only_its_own_names(self):
        symbols = subprocess.run(["nm", "-D", "--defined-only", str(OUT / "libKestrilo.so")],
                                 capture_output=True, text=True, check=True).stdout
        exported = {line.split()[-1] for line in symbols.splitlines()
                    if line.split()[-2] in ("T", "W")}
        for name in exported:
            self.assertRegex(name, r"^(Kestrilo_|Java_Kestrilo_|RNIGetCompatibleVersion$|_init$|_fini$)")
        methods = ("copyToClipboard", "showFile", "makeCab", "makeTransparent", "saveJPEG",
                   "wav2au")
        for method in methods:
            self.assertIn("Kestrilo_" + method, exported)
            self.assertIn("Java_Kestrilo_" + method, exported)
        self.assertIn("RNIGetCompatibleVersion", exported)


if __name__ == "__main__":
    unittest.main()
