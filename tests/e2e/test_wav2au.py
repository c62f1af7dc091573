"""WAV to AU end to end: Kestrilo.wav2au called from Java through the real JVM and bridge, on
WAV files that sox makes; the AU files are read back by sox."""

import struct
import subprocess
import unittest

from tavolin_e2e import call, require_tool, temp_folder


class Wav2Au(unittest.TestCase):
    def setUp(self):
        self.sox = require_tool("sox")
        self.folder_context = temp_folder()
        self.folder = self.folder_context.__enter__()

    def tearDown(self):
        self.folder_context.__exit__(None, None, None)

    def sox_wav(self, name, rate, bits, channels, seconds):
        path = self.folder / name
        subprocess.run([self.sox, "-n", "-r", str(rate), "-b", str(bits), "-c", str(channels),
                        str(path), "synth", str(seconds), "sine", "440", "sine", "660"],
                       check=True)
        return path

    def sox_info(self, path, option):
        return subprocess.run([self.sox, "--i", option, str(path)], capture_output=True,
                              text=True, check=True).stdout.strip()

    def test_one_second_of_stereo_becomes_8012_frames_of_mono_mu_law(self):
        wav = self.sox_wav("tone.wav", 44100, 16, 2, 1)
        au = self.folder / "tone.au"
        result, _ = call("wav2au", str(wav), str(au))
        self.assertEqual(result, 1)
        data = au.read_bytes()
        self.assertEqual(len(data), 8036)
        self.assertEqual(struct.unpack(">4sIIIII", data[:24]),
                         (b".snd", 24, 8012, 1, 8012, 1))
        self.assertEqual(self.sox_info(au, "-c"), "1")
        self.assertEqual(self.sox_info(au, "-r"), "8012")
        self.assertEqual(self.sox_info(au, "-s"), "8012")
        self.assertEqual(self.sox_info(au, "-e"), "u-law")
        back = self.folder / "back.wav"
        subprocess.run([self.sox, str(au), "-b", "16", str(back)], check=True)
        self.assertEqual(self.sox_info(back, "-s"), "8012")

    def test_an_existing_au_file_is_replaced(self):
        wav = self.sox_wav("short.wav", 8000, 8, 1, 0.5)
        au = self.folder / "old.au"
        au.write_bytes(b"x" * 100000)
        result, _ = call("wav2au", str(wav), str(au))
        self.assertEqual(result, 1)
        # 4000 bytes at 8000 Hz: 4000 × 8012 / 8000 = 4006, rounded down to 4004 frames.
        self.assertEqual(len(au.read_bytes()), 24 + 4004)

    def test_files_that_cannot_be_converted_give_0_and_no_au_file(self):
        good = self.sox_wav("good.wav", 22050, 16, 1, 0.2).read_bytes()
        not_wave = self.folder / "notwave.wav"
        not_wave.write_bytes(good.replace(b"WAVE", b"WAVF", 1))
        no_data = self.folder / "nodata.wav"
        no_data.write_bytes(good[:good.index(b"data")])
        zero_channels = self.folder / "zero.wav"
        zero_channels.write_bytes(good[:22] + b"\0\0" + good[24:])
        for name, wav in [("missing", self.folder / "missing.wav"), ("no WAVE", not_wave),
                          ("no data", no_data), ("zero channels", zero_channels)]:
            with self.subTest(name):
                au = self.folder / "out.au"
                result, process = call("wav2au", str(wav), str(au))
                self.assertEqual(result, 0)
                self.assertFalse(au.exists())
                self.assertNotIn("Error:", process.stderr)

    def test_an_au_file_that_cannot_be_created_gives_0(self):
        wav = self.sox_wav("good.wav", 8000, 16, 1, 0.1)
        result, _ = call("wav2au", str(wav), str(self.folder / "no-such-folder" / "out.au"))
        self.assertEqual(result, 0)

    def test_names_longer_than_255_characters_are_refused(self):
        wav = self.sox_wav("good.wav", 8000, 16, 1, 0.1)
        folder = self.folder / ("d" * 200)
        folder.mkdir()
        long_au = folder / ("a" * (256 - len(str(folder)) - 1))
        self.assertEqual(len(str(long_au)), 256)
        result, _ = call("wav2au", str(wav), str(long_au))
        self.assertEqual(result, 0)
        self.assertEqual(list(folder.iterdir()), [])
        fitting = folder / ("a" * (255 - len(str(folder)) - 1))
        result, _ = call("wav2au", str(wav), str(fitting))
        self.assertEqual(result, 1)
        self.assertTrue(fitting.exists())

    def test_latin1_names_reach_the_files_they_name(self):
        wav = self.sox_wav("chanson \u00e9t\u00e9.wav", 11025, 8, 2, 0.3)
        au = self.folder / "chanson \u00e9t\u00e9.au"
        result, _ = call("wav2au", str(wav), str(au))
        self.assertEqual(result, 1)
        self.assertEqual(self.sox_info(au, "-r"), "8012")


if __name__ == "__main__":
    unittest.main()
