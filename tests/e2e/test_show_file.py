"""Opening a document end to end: a private XDG set-up whose default application for plain text
is a script that records its arguments and working directory."""

import os
import unittest
from pathlib import Path

from tavolin_e2e import call, require_tool, temp_folder, wait_for

RECORDER = """#!/bin/sh
{ pwd; for argument in "$@"; do printf '%s\\n' "$argument"; done; } > "RECORD.tmp"
mv "RECORD.tmp" "RECORD"
"""


class ShowFile(unittest.TestCase):
    def setUp(self):
        require_tool("xdg-mime")
        require_tool("xdg-open")
        self.folder_context = temp_folder()
        self.root = self.folder_context.__enter__()
        self.record = self.root / "record.txt"
        data = self.root / "data"
        (data / "applications").mkdir(parents=True)
        config = self.root / "config"
        config.mkdir()
        recorder = self.root / "record.sh"
        recorder.write_text(RECORDER.replace("RECORD", str(self.record)))
        recorder.chmod(0o755)
        (data / "applications" / "tavolin-recorder.desktop").write_text(
            "[Desktop Entry]\nType=Application\nName=Recorder\nExec=%s %%f\n"
            "MimeType=text/plain;\n" % recorder)
        (config / "mimeapps.list").write_text(
            "[Default Applications]\ntext/plain=tavolin-recorder.desktop\n")
        self.documents = self.root / "documents"
        self.documents.mkdir()
        self.environment = {
            "XDG_DATA_HOME": str(data), "XDG_CONFIG_HOME": str(config),
            "XDG_DATA_DIRS": str(data), "XDG_CURRENT_DESKTOP": "", "DISPLAY": "",
            "WAYLAND_DISPLAY": "", "BROWSER": "",
        }

    def tearDown(self):
        self.folder_context.__exit__(None, None, None)

    def document(self, name):
        path = self.documents / name
        path.write_text("a plain text document\n")
        return path

    def recorded(self):
        if not wait_for(self.record.exists, timeout=15):
            self.fail("the document's program was not started")
        return self.record.read_text().splitlines()

    def test_the_program_gets_the_file_as_its_one_argument_in_the_system_directory(self):
        for name in ["notes.txt", "two words.txt", "it's \"quoted\"; $(touch PWNED) `x`.txt"]:
            with self.subTest(name):
                document = self.document(name)
                result, process = call("showFile", str(self.documents), str(document),
                                       cwd=self.root, env=self.environment)
                self.assertEqual(result, 1, process.stderr)
                self.assertEqual(self.recorded(), ["/", str(document)])
                self.assertFalse((Path("/") / "PWNED").exists())
                self.assertEqual(sorted(p.name for p in self.root.iterdir()),
                                 ["config", "data", "documents", "record.sh", "record.txt"])
                self.record.unlink()

    def test_an_empty_directory_opens_the_document_by_its_default_action(self):
        document = self.document("by default.txt")
        # xdg-open consults the desktop's default applications only inside a graphical session;
        # the recorder itself needs no display server, so the variable alone is enough.
        environment = dict(self.environment, DISPLAY=":4242")
        result, _ = call("showFile", "", str(document), cwd=self.root, env=environment)
        self.assertEqual(result, 1)
        self.assertEqual(self.recorded()[-1], str(document))

    def test_the_result_is_1_when_nothing_can_be_opened(self):
        result, _ = call("showFile", str(self.documents), str(self.documents / "missing.txt"),
                         cwd=self.root, env=self.environment)
        self.assertEqual(result, 1)


if __name__ == "__main__":
    unittest.main()
