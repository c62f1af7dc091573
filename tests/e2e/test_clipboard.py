"""The clipboard service end to end: Java calls copyToClipboard on a virtual X display and xclip
reads the CLIPBOARD selection back."""

import os
import signal
import subprocess
import time
import unittest

from tavolin_e2e import call, require_tool, temp_folder, virtual_display


def read_clipboard(display):
    return subprocess.run([require_tool("xclip"), "-selection", "clipboard", "-o"],
                          env=dict(os.environ, DISPLAY=display), capture_output=True,
                          timeout=20).stdout


class Clipboard(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        cls.display_context = virtual_display()
        cls.display = cls.display_context.__enter__()

    @classmethod
    def tearDownClass(cls):
        cls.display_context.__exit__(None, None, None)

    def copy(self, text):
        environment = {"DISPLAY": self.display, "WAYLAND_DISPLAY": ""}
        if len(text) > 1000:
            with temp_folder() as folder:
                (folder / "text").write_text(text, encoding="utf-8")
                return call("copyToClipboard", "@file:%s" % (folder / "text"), env=environment)[0]
        return call("copyToClipboard", text, env=environment)[0]

    def test_texts_arrive_as_utf8(self):
        cases = [
            ("ascii", "Tavolin", b"Tavolin"),
            ("latin-1", "caf\u00e9 \u00ff", "caf\u00e9 \u00ff".encode("utf-8")),
            ("beyond latin-1", "\u20ac5", b"?5"),
            ("16383 characters whole", "x" * 16383, b"x" * 16383),
            ("longer texts are cut at 16383", "y" * 16383 + "zzz", b"y" * 16383),
        ]
        for name, text, expected in cases:
            with self.subTest(name):
                self.assertEqual(self.copy(text), 1)
                self.assertEqual(read_clipboard(self.display), expected)

    def test_an_empty_text_empties_the_clipboard(self):
        self.assertEqual(self.copy("before"), 1)
        self.assertEqual(self.copy(""), 1)
        self.assertEqual(read_clipboard(self.display), b"")


class StoppedDisplay(unittest.TestCase):
    def test_a_display_that_no_longer_answers_gives_0_within_the_tool_s_time(self):
        with virtual_display(with_server=True) as (display, server):
            os.kill(server.pid, signal.SIGSTOP)
            try:
                began = time.monotonic()
                result, _ = call("copyToClipboard", "text",
                                 env={"DISPLAY": display, "WAYLAND_DISPLAY": ""})
                elapsed = time.monotonic() - began
            finally:
                os.kill(server.pid, signal.SIGCONT)
        self.assertEqual(result, 0)
        # The tool's 5 seconds, once, and the VM's start; an unbounded wait never returns.
        self.assertLess(elapsed, 20)


class StrayDescriptor(unittest.TestCase):
    def test_a_descriptor_of_the_vm_never_reaches_the_clipboard_tool(self):
        with temp_folder() as folder:
            record = folder / "record"
            tool = folder / "xclip"
            # The shell's own test, before it starts anything that has descriptors of its own.
            tool.write_text("#!/bin/sh\nfd=no; [ -e /proc/$$/fd/200 ] && fd=yes\n"
                            "printf '%%s' \"$fd\" > %s.tmp\nmv %s.tmp %s\n"
                            % (record, record, record))
            tool.chmod(0o755)
            environment = {"DISPLAY": ":4242", "WAYLAND_DISPLAY": "",
                           "PATH": "%s:%s" % (folder, os.environ.get("PATH", "/usr/bin:/bin"))}
            stray = os.open("/dev/null", os.O_RDONLY)
            try:
                os.dup2(stray, 200, inheritable=True)
                subprocess.run([str(tool)], pass_fds=(200,), check=True)
                self.assertEqual(record.read_text(), "yes")
                result, _ = call("copyToClipboard", "text", env=environment, pass_fds=(200,))
            finally:
                os.close(200)
                os.close(stray)
            self.assertEqual(result, 1)
            self.assertEqual(record.read_text(), "no")


class NoDisplay(unittest.TestCase):
    def test_without_a_display_the_clipboard_cannot_be_opened(self):
        result, _ = call("copyToClipboard", "text", env={"DISPLAY": "", "WAYLAND_DISPLAY": ""})
        self.assertEqual(result, 0)


if __name__ == "__main__":
    unittest.main()
