"""End-to-end tests of Kestrilo.dll under Wine, against the Linux build's outputs.

Run by scripts/test-windows.sh, which sets:
    TAVOLIN_WINDOWS_BUILD   the Windows build folder (out/Kestrilo.dll, tests/kestrilo_call.exe)
    TAVOLIN_WINE            the Wine loader for the target (wine64, or wine for i686)
    WINEPREFIX              a prefix of the build folder's own
    TAVOLIN_OUT, TAVOLIN_E2E_CLASSES, TAVOLIN_BUILD   the Linux build, for the reference outputs

The exports are called through kestrilo_call.exe, which hands them test string handles and
array objects as the Java VM would: no Java VM runs under Wine here.
"""

import os
import random
import re
import shutil
import struct
import subprocess
import sys
import unittest
from pathlib import Path

ROOT = Path(__file__).resolve().parents[2]
sys.path.insert(0, str(ROOT / "tests" / "e2e"))
from tavolin_e2e import call as linux_call  # noqa: E402
from tavolin_e2e import require_tool, temp_folder, virtual_display, wait_for  # noqa: E402
from cabinet_oracle import CabinetTest, check_every_reader, check_listing  # noqa: E402
from cabinet_oracle import write_mixed_set  # noqa: E402

BUILD = Path(os.environ["TAVOLIN_WINDOWS_BUILD"])
WINE = os.environ["TAVOLIN_WINE"]
DATA = ROOT / "tests" / "data"
DRIVER = BUILD / "tests" / "kestrilo_call.exe"
RECORDER = BUILD / "tests" / "record_arguments.exe"
WINDOWS_DIRECTORY = "c:\\windows"
# The system's ANSI code page the tests run under (Wine takes it from the locale).
ANSI_CODE_PAGE = int(os.environ.get("TAVOLIN_CODE_PAGE", "1252"))


def wineserver(*options):
    # Not captured: a server that starts stays, and would hold a captured pipe open.
    subprocess.run([str(Path(WINE).parent / "wineserver"), *options], stdout=subprocess.DEVNULL,
                   stderr=subprocess.DEVNULL, timeout=60)


_display = None
_keeper = None


def setUpModule():
    """One private X display for every test. Wine serves the X CLIPBOARD selection from its
    desktop process (explorer.exe), which starts with the first program on a display and ends
    when the last one has: so the prefix's wineserver is stopped first, and a command
    interpreter waiting on its input keeps the desktop process alive between the calls, as any
    other running Windows program would."""
    global _display, _keeper
    _display = virtual_display()
    os.environ["DISPLAY"] = _display.__enter__()
    wineserver("-k")
    wineserver("-w")
    # The server first, on its own: started by a test's program, it and the desktop process
    # would inherit that program's captured output and keep the test waiting for its end.
    wineserver("-p")
    _keeper = subprocess.Popen([WINE, "cmd.exe"], stdin=subprocess.PIPE,
                               stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    # The first programs of a fresh server start the desktop; the tests begin once it is up.
    # Not captured either: the system's service processes start with it and stay.
    subprocess.run([WINE, "cmd.exe", "/c", "echo", "up"], stdout=subprocess.DEVNULL,
                   stderr=subprocess.DEVNULL, timeout=120)


def tearDownModule():
    _keeper.stdin.close()
    try:
        _keeper.wait(timeout=30)
    except subprocess.TimeoutExpired:
        _keeper.kill()
    wineserver("-k")
    wineserver("-w")
    _display.__exit__(None, None, None)


def windows_path(path):
    """The Windows name of a Linux path: Wine's drive Z: is the root of the file system."""
    return "Z:" + str(path).replace("/", "\\")


def escape(text):
    """An argument for kestrilo_call: non-ASCII characters and the backslash as \\uXXXX, so that
    no code page plays a part on the way in."""
    return "".join(c if 0x20 <= ord(c) < 0x7F and c != "\\" else "\\u%04x" % ord(c)
                   for c in text)


def wine(*command, env=None, timeout=120):
    environment = dict(os.environ)
    environment.update(env or {})
    return subprocess.run([WINE, *command], env=environment, capture_output=True,
                          timeout=timeout)


def call(method, *args, env=None):
    """Calls one export through the driver; (result, standard output as text)."""
    environment = {"TAVOLIN_KESTRILO": windows_path(BUILD / "out" / "Kestrilo.dll")}
    environment.update(env or {})
    process = wine(str(DRIVER), method, *[escape(str(a)) for a in args], env=environment)
    out = process.stdout.decode("latin-1")
    match = re.search(r"^result=(-?\d+)\r?$", out, re.MULTILINE)
    if not match:
        raise AssertionError("%s gave no result: exit %d\n%s\n%s" %
                             (method, process.returncode, out, process.stderr.decode("latin-1")))
    return int(match.group(1)), out[:match.start()]


class Exports(unittest.TestCase):
    def test_every_export_is_in_the_dll_under_its_exact_name(self):
        result, listing = call("exports")
        self.assertEqual(result, 0x00020000)
        names = dict(line.split() for line in listing.splitlines() if line.strip())
        self.assertEqual(len(names), 13)
        self.assertEqual({name for name, found in names.items() if found != "yes"}, set())


class SameBytesAsLinux(unittest.TestCase):
    """The same inputs through Kestrilo.dll and through libKestrilo.so give the same files."""

    def setUp(self):
        self.context = temp_folder()
        self.root = self.context.__enter__()

    def tearDown(self):
        self.context.__exit__(None, None, None)

    def both(self, method, make_args, output):
        """Runs the export on both systems on copies of the same inputs, which `make_args`
        writes into a folder and names (Paths) in the export's arguments; returns the results
        and output files of the Linux and the Windows build."""
        self.runs = getattr(self, "runs", 0) + 1
        inputs = self.root / str(self.runs) / "inputs"
        inputs.mkdir(parents=True)
        args = make_args(inputs)
        results = {}
        for system in ("linux", "windows"):
            folder = inputs.parent / system
            shutil.copytree(inputs, folder)
            moved = [folder / a.relative_to(inputs) if isinstance(a, Path) else a for a in args]
            if system == "linux":
                result, _ = linux_call(method, *[str(a) for a in moved])
            else:
                result, _ = call(method, *[windows_path(a) if isinstance(a, Path) else a
                                           for a in moved])
            results[system] = (result, (folder / output).read_bytes())
        return results["linux"], results["windows"]

    def test_make_transparent(self):
        gifs = sorted(DATA.glob("image/*.gif"))
        self.assertGreater(len(gifs), 10)
        for gif in gifs:
            with self.subTest(gif=gif.name):
                def args(folder, gif=gif):
                    shutil.copy(gif, folder / "in.gif")
                    return [folder / "in.gif"]
                linux, windows = self.both("makeTransparent", args, "in.gif")
                self.assertEqual(windows, linux)

    def test_save_jpeg(self):
        rng = random.Random(11)
        for width, height in [(6, 5), (17, 9), (640, 480)]:
            with self.subTest(size=(width, height)):
                # Noise with smooth areas: every coefficient path of the encoder is taken.
                pixels = [rng.getrandbits(24) if (x // 8 + y // 8) % 2 else (x * 4 << 8 | y * 2)
                          for y in range(height) for x in range(width)]
                def args(folder):
                    (folder / "pixels").write_bytes(struct.pack("<%di" % len(pixels), *pixels))
                    return [folder / "out.jpg", str(width), str(height), folder / "pixels"]
                linux, windows = self.both("saveJPEG", args, "out.jpg")
                self.assertEqual(windows, linux)
                self.assertEqual(windows[1][:2], b"\xff\xd8")

    def test_wav2au(self):
        sox = require_tool("sox")
        shapes = [
            ["-r", "44100", "-c", "2", "-b", "16", "synth", "1.5", "sine", "440", "sine", "660"],
            ["-r", "22050", "-c", "1", "-b", "8", "-e", "unsigned", "synth", "0.7", "noise"],
            ["-r", "8000", "-c", "1", "-b", "16", "synth", "0.3", "square", "1000"],
            ["-r", "48000", "-c", "2", "-b", "8", "-e", "unsigned", "synth", "2", "pinknoise"],
        ]
        for shape in shapes:
            with self.subTest(shape=" ".join(shape)):
                def args(folder, shape=shape):
                    options, effect = shape[:shape.index("synth")], shape[shape.index("synth"):]
                    subprocess.run([sox, "-n", *options, str(folder / "in.wav"), *effect],
                                   check=True, capture_output=True)
                    return [folder / "in.wav", folder / "out.au"]
                linux, windows = self.both("wav2au", args, "out.au")
                self.assertEqual(windows, linux)
                self.assertEqual(windows[1][:4], b".snd")


# Every character of U+0080..U+00FF, a quarter of them in each name, and the names that went
# wrong under other code pages: an accent, a character that swallows the dot under code page 932,
# and the C1 controls U+0080..U+009F that code page 1252 reads as other characters.
HIGH_NAMES = (["caf\u00e9", "na\u00efve \u00df", "\u00dcn\u00efc\u00f8d\u00e9", "c1\u0080"] +
              ["n" + "".join(chr(c) for c in range(start, start + 32))
               for start in range(0x80, 0x100, 32)])


def misreading(name):
    """The name a program gets when the name's Latin-1 bytes are read in the system's ANSI code
    page: another file, which must never be touched."""
    code_page = "cp%d" % ANSI_CODE_PAGE
    return name.encode("latin-1").decode(code_page, errors="replace").replace("\ufffd", "_")


def listing(folder):
    return sorted(p.name for p in folder.iterdir())


class Names(unittest.TestCase):
    """Files named with the characters U+0080..U+00FF are created, found, rewritten and opened
    under exactly those names whatever the system's code page (Wine gives Windows names to Linux
    in UTF-8), and the name the code page would make of them is never touched."""

    def setUp(self):
        self.context = temp_folder()
        self.root = self.context.__enter__()

    def tearDown(self):
        self.context.__exit__(None, None, None)

    def decoy(self, folder, name):
        """An unrelated file under the misreading of `name`, when that is another name."""
        other = misreading(name)
        if other != name and "/" not in other and "\\" not in other:
            (folder / other).write_bytes(b"someone else's file")
            return other
        return None

    def assert_decoys_untouched(self, folder, decoys):
        for decoy in filter(None, decoys):
            self.assertEqual((folder / decoy).read_bytes(), b"someone else's file", decoy)

    def test_the_code_page_is_the_one_asked_for(self):
        self.assertEqual(call("codePage")[0], ANSI_CODE_PAGE)

    def test_jpeg_gif_and_au_files_keep_their_names(self):
        sox = require_tool("sox")
        pixels = self.root / "pixels"
        pixels.write_bytes(struct.pack("<30i", *range(30)))
        gif = sorted(DATA.glob("image/*.gif"))[0]
        for index, name in enumerate(HIGH_NAMES):
            with self.subTest(name=ascii(name)):
                folder = self.root / str(index)
                folder.mkdir()
                decoys = [self.decoy(folder, name + suffix)
                          for suffix in (".jpg", ".gif", ".wav", ".au")]
                shutil.copy(gif, folder / (name + ".gif"))
                subprocess.run([sox, "-n", "-r", "8000", "-c", "1", "-b", "16",
                                str(folder / (name + ".wav")), "synth", "0.1", "sine", "440"],
                               check=True, capture_output=True)
                base = windows_path(folder / name)
                self.assertEqual(call("saveJPEG", base + ".jpg", 6, 5, windows_path(pixels))[0], 1)
                self.assertEqual((folder / (name + ".jpg")).read_bytes()[:2], b"\xff\xd8")
                # Found and read (result 1 only for a file loaded as a GIF), and rewritten.
                self.assertEqual(call("makeTransparent", base + ".gif")[0], 1)
                self.assertNotEqual((folder / (name + ".gif")).read_bytes(), gif.read_bytes())
                self.assertEqual(call("wav2au", base + ".wav", base + ".au")[0], 1)
                self.assertEqual((folder / (name + ".au")).read_bytes()[:4], b".snd")
                # A second write replaces the first under the same name.
                self.assertEqual(call("saveJPEG", base + ".jpg", 6, 5, windows_path(pixels))[0], 1)
                expected = sorted({name + s for s in (".jpg", ".gif", ".wav", ".au")} |
                                  set(filter(None, decoys)))
                self.assertEqual(listing(folder), expected)
                self.assert_decoys_untouched(folder, decoys)

    def test_cabinets_store_the_latin1_entry_and_read_the_named_file(self):
        for index, name in enumerate(HIGH_NAMES):
            with self.subTest(name=ascii(name)):
                folder = self.root / str(index)
                folder.mkdir()
                (folder / (name + ".txt")).write_bytes(b"the named file\n")
                decoys = [self.decoy(folder, name + ".txt"), self.decoy(folder, name + ".cab")]
                result, printed = call("makeCab", windows_path(folder) + "\\", name + ".cab",
                                       name + ".txt")
                self.assertEqual((result, printed), (1, ""))
                cabinet = (folder / (name + ".cab")).read_bytes()
                # The entry's 8-bit text as it is: readers take it as Latin-1.
                self.assertIn(b"\0" + (name + ".txt").encode("latin-1") + b"\0", cabinet)
                # cabextract prints the stored names as they are: bytes, not UTF-8.
                tested = subprocess.run([require_tool("cabextract"), "-t",
                                         str(folder / (name + ".cab"))], capture_output=True)
                self.assertIn(b"All done, no errors.", tested.stdout)
                self.assert_decoys_untouched(folder, decoys)
                self.assertEqual(listing(folder), sorted({name + ".txt", name + ".cab"} |
                                                         set(filter(None, decoys))))

    def test_the_longest_name_with_a_one_character_last_part_is_written(self):
        # 255 characters in all; the new file beside it takes more than Windows' MAX_PATH.
        prefix = windows_path(self.root) + "\\"
        folder = self.root / ("f" * (255 - len(prefix) - 2))
        folder.mkdir()
        name = windows_path(folder / "b")
        self.assertEqual(len(name), 255)
        pixels = self.root / "pixels"
        pixels.write_bytes(struct.pack("<30i", *range(30)))
        self.assertEqual(call("saveJPEG", name, 6, 5, windows_path(pixels))[0], 1)
        self.assertEqual((folder / "b").read_bytes()[:2], b"\xff\xd8")
        self.assertEqual(listing(folder), ["b"])


class MakeCab(CabinetTest):
    """Cabinets written by the system's cabinet library (Wine's cabinet.dll)."""

    def make_cab(self, entries, name="out.cab", path=None):
        result, printed = call("makeCab", path or windows_path(self.root) + "\\", name, *entries)
        self.assertEqual(result, 1)
        # The runtime's text mode ends each line with CR LF on Windows.
        return printed.replace("\r\n", "\n")

    def test_a_mixed_set_reads_back_everywhere(self):
        contents, entries, folders = write_mixed_set(self, space_plus=False)
        entries = [e.replace("/", "\\") for e in entries]
        self.assertEqual(self.make_cab(entries), "")
        cabinet = self.root / "out.cab"

        # Wine's cabinet.dll writes the parameters record's sequence number (1) into the header,
        # where Windows' own writes it minus one (0), as the Linux writer module does; bsdtar
        # refuses any header number but 0 ("Multivolume cabinet file is unsupported"). It reads
        # a copy with that one field (offset 0x22) set to 0.
        self.assertEqual(struct.unpack_from("<H", cabinet.read_bytes(), 0x22)[0], 1)
        renumbered = self.root / "renumbered.cab"
        data = bytearray(cabinet.read_bytes())
        struct.pack_into("<H", data, 0x22, 0)
        renumbered.write_bytes(bytes(data))
        check_every_reader(self, cabinet, contents, self.root, bsdtar_cabinet=renumbered)
        # The header number is Wine's, see above.
        check_listing(self, cabinet, self.root,
                      [e.replace("\\", "/") for e in entries if e != "+"], folders,
                      volume_index="1", read_only="read-only.txt")

    def test_failures_print_the_same_lines_as_on_linux(self):
        """Each failure line word for word, against the Linux build given the same request."""
        cases = [
            ("a missing file", ["a.txt", "missing.txt", "c.txt"], None),
            ("a folder as a file", ["a.txt", "sub"], None),
            ("a missing cabinet folder", ["a.txt"], "no/such"),
            ("a break first", ["+", "a.txt"], None),
            ("two breaks", ["a.txt", "+", "+", "c.txt"], None),
        ]
        for what, entries, cabinet_folder in cases:
            with self.subTest(what=what):
                printed = {}
                for system in ("linux", "windows"):
                    root = self.root / what.replace(" ", "-") / system
                    for name in ("a.txt", "c.txt", "sub/s.txt"):
                        (root / name).parent.mkdir(parents=True, exist_ok=True)
                        (root / name).write_bytes(b"text\n")
                    folder = root / cabinet_folder if cabinet_folder else root
                    absolute = [e if e == "+" else str(root / e) for e in entries]
                    if system == "linux":
                        _, process = linux_call("makeCab", str(folder), "out.cab", *absolute)
                        printed[system] = process.stdout.replace("result=1\n", "")
                    else:
                        printed[system] = self.make_cab(
                            [e if e == "+" else windows_path(e) for e in absolute],
                            name="out.cab", path=windows_path(folder) + "\\")
                self.assertEqual(printed["windows"], printed["linux"])


class Clipboard(unittest.TestCase):
    """The text set through Wine arrives on the X CLIPBOARD selection, read back with xclip."""

    NO_ANSWER = b"\0no answer from the selection's owner"

    def x_clipboard(self):
        """The CLIPBOARD selection's text; None when it holds none. Wine's desktop process can
        be slow to answer on a loaded machine: a request it leaves unanswered reads as
        NO_ANSWER, which equals no expected text, so that wait_for asks again."""
        try:
            process = subprocess.run([require_tool("xclip"), "-o", "-selection", "clipboard"],
                                     capture_output=True, timeout=10)
        except subprocess.TimeoutExpired:
            return self.NO_ANSWER
        return process.stdout if process.returncode == 0 else None

    def copy(self, text, file=None):
        argument = "@file:" + windows_path(file) if file else text
        return call("copyToClipboard", argument)[0]

    def test_texts_arrive_as_their_latin1_characters_whatever_the_code_page(self):
        # Wine hands Windows line ends (CR LF) to X as plain line feeds.
        cases = [("Tavolin: caf\u00e9", "Tavolin: caf\u00e9", "plain"),
                 ("\u00e0 \u00ff \u00a9 x", "\u00e0 \u00ff \u00a9 x", "accents"),
                 ("line one\r\nline two", "line one\nline two", "lines"),
                 ("caf\u00e9 \u00df", "caf\u00e9 \u00df", "accents and sharp s"),
                 ("".join(chr(c) for c in range(0xA0, 0x100)), None, "U+00A0..U+00FF"),
                 ("x" + "".join(chr(c) for c in range(0x80, 0xA0)) + "y", None,
                  "U+0080..U+009F")]
        for text, arrived, what in cases:
            arrived = text if arrived is None else arrived
            with self.subTest(what=what):
                self.assertEqual(self.copy(text), 1)
                self.assertTrue(wait_for(lambda: self.x_clipboard() == arrived.encode("utf-8"),
                                         timeout=30),
                                self.x_clipboard())

    def test_the_longest_text_is_placed_whole(self):
        text = "".join(chr(0x41 + i % 26) for i in range(16383))
        with temp_folder() as folder:
            (folder / "text").write_text(text, encoding="utf-8")
            self.assertEqual(self.copy(None, folder / "text"), 1)
        self.assertTrue(wait_for(lambda: self.x_clipboard() == text.encode(), timeout=30),
                        len(self.x_clipboard() or b""))

    def test_an_empty_text_empties_the_clipboard(self):
        self.assertEqual(self.copy("something before"), 1)
        self.assertEqual(self.copy(""), 1)
        self.assertTrue(wait_for(lambda: self.x_clipboard() in (b"", None), timeout=30),
                        self.x_clipboard())


class ShowFile(unittest.TestCase):
    """A document type registered in the Wine prefix, whose program records how it was started."""

    EXTENSION = ".tavolintest"

    @classmethod
    def setUpClass(cls):
        program = '"%s" "%%1"' % windows_path(RECORDER)
        for key, value in [("HKCR\\" + cls.EXTENSION, "TavolinTest.Document"),
                           ("HKCR\\TavolinTest.Document\\shell\\open\\command", program)]:
            process = wine("reg", "add", key, "/ve", "/d", value, "/f")
            if process.returncode != 0:
                raise AssertionError("reg add failed: %s" % process.stderr.decode("latin-1"))

    def setUp(self):
        self.context = temp_folder()
        self.root = self.context.__enter__()
        self.record = self.root / "record.txt"

    def tearDown(self):
        self.context.__exit__(None, None, None)

    def started(self, directory, document):
        """Calls showFile and gives what the program recorded: {"cwd":..., "args": [...]}."""
        self.record.unlink(missing_ok=True)
        result, _ = call("showFile", directory, document,
                         env={"TAVOLIN_RECORD_FILE": windows_path(self.record)})
        self.assertEqual(result, 1)
        self.assertTrue(wait_for(lambda: self.record.exists() and
                                 self.record.read_text("utf-8").endswith("end\n"), timeout=30),
                        "the program did not start")
        lines = self.record.read_text("utf-8").splitlines()
        fields = dict(line.split("=", 1) for line in lines if "=" in line)
        count = int(fields["argc"])
        return {"cwd": fields["cwd"], "line": fields["line"],
                "args": [fields["arg%d" % i] for i in range(1, count)]}

    def test_the_document_is_one_argument_and_the_windows_directory_is_current(self):
        names = ["plain", "my doc", "a&b^c", "100% (sure)", "it's", "caf\u00e9 cr\u00e8me",
                 "  spaces  ", "\u00dcn\u00efc\u00f8d\u00e9", "c1\u0080\u009f"]
        for name in names:
            with self.subTest(name=name):
                document = self.root / (name + self.EXTENSION)
                document.write_bytes(b"document")
                # Named in full, or relative to the directory: the program, which runs in the
                # Windows directory, gets the full path either way.
                for given in (windows_path(document), document.name):
                    seen = self.started(windows_path(self.root), given)
                    self.assertEqual(seen["args"], [windows_path(document)], seen["line"])
                    self.assertEqual(seen["cwd"].lower(), WINDOWS_DIRECTORY)

    def test_without_a_directory_the_default_action_opens_the_document(self):
        document = self.root / ("by default" + self.EXTENSION)
        document.write_bytes(b"document")
        seen = self.started("", windows_path(document))
        self.assertEqual(seen["args"], [windows_path(document)], seen["line"])


if __name__ == "__main__":
    unittest.main()
