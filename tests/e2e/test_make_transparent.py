"""Making a GIF transparent end to end: Java calls Kestrilo.makeTransparent through the real JVM
and bridge; the rewritten files are read back by giflib's tools and by Pillow."""

import hashlib
import subprocess
import unittest

from PIL import Image

from tavolin_e2e import call, require_tool, temp_folder


def digest(path):
    return hashlib.sha256(path.read_bytes()).hexdigest()


def first_frame_indices(path):
    with Image.open(path) as picture:
        picture.seek(0)
        return list(picture.getdata()), picture.size, picture.info.get("transparency")


class MakeTransparent(unittest.TestCase):
    def setUp(self):
        self.convert = require_tool("convert")
        self.giftext = require_tool("giftext")
        self.folder_context = temp_folder()
        self.folder = self.folder_context.__enter__()

    def tearDown(self):
        self.folder_context.__exit__(None, None, None)

    def pillow_gif(self, name, size, pixels, **options):
        picture = Image.new("P", size)
        picture.putpalette([(i * 53) % 256 for i in range(768)])
        picture.putdata(pixels)
        path = self.folder / name
        picture.save(path, **options)
        return path

    def test_a_gif_without_transparency_is_rewritten_with_the_top_left_colour_transparent(self):
        width, height = 23, 11
        pixels = [(x * 7 + y * 3) % 40 + 2 for y in range(height) for x in range(width)]
        path = self.pillow_gif("plain.gif", (width, height), pixels)
        # Pillow may renumber the palette when it saves: what the file holds is the reference.
        pixels, _, transparency = first_frame_indices(path)
        self.assertIsNone(transparency)
        with Image.open(path) as picture:
            colours = list(picture.convert("RGB").getdata())
        result, _ = call("makeTransparent", str(path))
        self.assertEqual(result, 1)
        data = path.read_bytes()
        self.assertEqual(data[:6], b"GIF89a")
        # Pillow reads the same pixels and the top-left colour as the transparent one.
        read, size, transparency = first_frame_indices(path)
        self.assertEqual(size, (width, height))
        self.assertEqual(read, pixels)
        self.assertEqual(transparency, pixels[0])
        with Image.open(path) as picture:
            self.assertEqual(list(picture.convert("RGBA").convert("RGB").getdata()), colours)
        # giflib's own decoder agrees on interlacing and the transparent index.
        text = subprocess.run([self.giftext, str(path)], capture_output=True, text=True,
                              check=True).stdout
        self.assertIn("Image is Interlaced", text)
        self.assertIn("Transparency on: yes", text)
        self.assertIn("Transparent Index: %d" % pixels[0], text)
        rgb = self.folder / "plain.rgb"
        subprocess.run([require_tool("gif2rgb"), "-1", "-o", str(rgb), str(path)], check=True)
        self.assertEqual(rgb.read_bytes(), bytes(c for colour in colours for c in colour))

    def test_a_gif_that_already_declares_transparency_is_left_alone(self):
        path = self.folder / "transparent.gif"
        subprocess.run([self.convert, "-size", "9x7", "xc:red", "-fill", "blue",
                        "-draw", "point 3,3", "-transparent", "blue", str(path)], check=True)
        before = digest(path)
        result, _ = call("makeTransparent", str(path))
        self.assertEqual(result, 1)
        self.assertEqual(digest(path), before)

    def test_what_is_not_a_gif_gives_0_and_stays_untouched(self):
        text = self.folder / "notes.gif"
        text.write_bytes(b"PNG pretending to be a GIF\n")
        png = self.folder / "picture.png"
        subprocess.run([self.convert, "-size", "4x4", "xc:green", str(png)], check=True)
        for path in [text, png]:
            with self.subTest(path.name):
                before = digest(path)
                result, _ = call("makeTransparent", str(path))
                self.assertEqual(result, 0)
                self.assertEqual(digest(path), before)
        result, _ = call("makeTransparent", str(self.folder / "missing.gif"))
        self.assertEqual(result, 0)
        self.assertFalse((self.folder / "missing.gif").exists())

    def test_a_name_longer_than_255_characters_is_refused(self):
        long_folder = self.folder / ("d" * 200)
        long_folder.mkdir()
        path = self.pillow_gif(str(long_folder / ("f" * 60 + ".gif")), (3, 3), [1] * 9)
        before = digest(path)
        result, _ = call("makeTransparent", str(path))
        self.assertEqual(result, 0)
        self.assertEqual(digest(path), before)

    def test_an_animation_becomes_a_single_image_of_its_first_frame(self):
        path = self.folder / "animation.gif"
        subprocess.run([self.convert, "-delay", "10", "-dispose", "Background",
                        "-size", "12x8", "xc:navy", "-size", "12x8", "xc:orange",
                        "-loop", "0", str(path)], check=True)
        with Image.open(path) as picture:
            self.assertEqual(picture.n_frames, 2)
            first = list(picture.convert("RGB").getdata())
        result, _ = call("makeTransparent", str(path))
        self.assertEqual(result, 1)
        with Image.open(path) as picture:
            self.assertEqual(picture.n_frames, 1)
            self.assertEqual(list(picture.convert("RGB").getdata()), first)
        data = path.read_bytes()
        self.assertNotIn(b"NETSCAPE2.0", data)
        # Disposal "background" (2) in the source survives as packed byte 0x09.
        control = data.index(b"\x21\xF9\x04")
        self.assertEqual(data[control + 3], 0x09)


if __name__ == "__main__":
    unittest.main()
