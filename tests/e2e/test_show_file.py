"""Opening a document end to end, through the real JVM, with a private XDG set-up: desktop
entries of the forms real applications install, each naming a recorder that writes down its
arguments, working directory and environment. The documents are scripts that leave a marker file
when run, by sh or by Python, so that a document taken for the program shows."""

import json
import os
import shutil
import subprocess
import unittest
import urllib.parse
from pathlib import Path

from tavolin_e2e import call, require_tool, temp_folder, wait_for

RECORDER = """#!/usr/bin/python3
import json, os, sys
records = RECORDS
record = {"program": os.path.basename(sys.argv[0]), "args": sys.argv[1:], "cwd": os.getcwd(),
          "hint": os.environ.get("TAVOLIN_HINT")}
name = sys.argv[1] if len(sys.argv) > 1 and not sys.argv[1].startswith("/") else "none"
with open(os.path.join(records, name + ".tmp"), "w") as out:
    json.dump(record, out)
os.rename(os.path.join(records, name + ".tmp"), os.path.join(records, name + ".json"))
"""

# Both a shell script and a Python program: run either way, it leaves MARKER behind.
DOCUMENT = '''"""exec" touch MARKER; exit #"""
open("MARKER", "w").close()
'''

NAMES = ["--help", "-rf", "+cmd", "two words.txt", "it's \"quoted\".txt", "semi;colon.txt",
         "$(touch PWNED).txt", "new\nline.txt"]


class ShowFile(unittest.TestCase):
    def setUp(self):
        require_tool("xdg-mime")
        require_tool("xdg-open")
        self.folder_context = temp_folder()
        self.root = self.folder_context.__enter__()
        self.records = self.root / "records"
        self.records.mkdir()
        self.marker = self.root / "MARKER"
        self.applications = self.root / "data" / "applications"
        self.applications.mkdir(parents=True)
        self.config = self.root / "config"
        self.config.mkdir()
        self.recorder = self.root / "recorder.py"
        self.recorder.write_text(RECORDER.replace("RECORDS", repr(str(self.records))))
        self.recorder.chmod(0o755)
        self.documents = self.root / "documents"
        self.documents.mkdir()
        self.environment = {
            "XDG_DATA_HOME": str(self.root / "data"), "XDG_DATA_DIRS": str(self.root / "data"),
            "XDG_CONFIG_HOME": str(self.config), "XDG_CONFIG_DIRS": str(self.config),
            "XDG_CURRENT_DESKTOP": "", "DISPLAY": "", "WAYLAND_DISPLAY": "", "BROWSER": "",
        }
        # The type xdg-mime gives the documents, which the associations below are for.
        sample = self.document("sample")
        self.type = subprocess.run(["xdg-mime", "query", "filetype", str(sample)],
                                   env=dict(os.environ, **self.environment), capture_output=True,
                                   text=True, check=True).stdout.strip()
        sample.unlink()

    def tearDown(self):
        self.folder_context.__exit__(None, None, None)

    def document(self, name):
        path = self.documents / name
        path.write_text(DOCUMENT.replace("MARKER", str(self.marker)))
        path.chmod(0o755)
        return path

    def make_default(self, exec_line, program=None):
        """Writes the entry and makes it the default for the documents' type: in mimeapps.list,
        and in the desktop database's cache, which xdg-mime falls back on when it cannot find
        the program of a mimeapps.list entry (it takes the Exec line's first word as it is, so
        a quoted path with a space defeats it)."""
        (self.applications / "tavolin-app.desktop").write_text(
            "[Desktop Entry]\nType=Application\nName=Recorder\nExec=%s\n" % exec_line)
        (self.config / "mimeapps.list").write_text(
            "[Default Applications]\n%s=tavolin-app.desktop\n" % self.type)
        (self.applications / "mimeinfo.cache").write_text(
            "[MIME Cache]\n%s=tavolin-app.desktop;\n" % self.type)

    def recorded(self, name):
        record = self.records / (name + ".json")
        if not wait_for(record.exists, timeout=15):
            self.fail("the application was not started (marker left: %s)" % self.marker.exists())
        result = json.loads(record.read_text())
        record.unlink()
        return result

    def assert_nothing_executed(self):
        self.assertFalse(self.marker.exists(), "the document was run as a program")
        self.assertFalse((Path("/") / "PWNED").exists())
        self.assertFalse((self.documents / "PWNED").exists())

    def show(self, directory, name, cwd=None, env=None):
        result, process = call("showFile", directory, name, cwd=cwd or self.root,
                               env=dict(self.environment, **(env or {})))
        self.assertEqual(result, 1, process.stderr)

    def test_the_entry_s_application_starts_with_the_document_in_the_system_directory(self):
        spaced = self.root / "apps dir" / "my recorder"
        spaced.parent.mkdir()
        shutil.copy(self.recorder, spaced)
        recorder = str(self.recorder)
        cases = [
            # (Exec line, record name, expected arguments before the document, URI?)
            ('sh -c "exec \\\\"\\\\$0\\\\" shell \\\\"\\\\$1\\\\"" %s %%f' % recorder, "shell",
             ["shell"], False),
            ("python3 %s python %%f" % recorder, "python", ["python"], False),
            ("env TAVOLIN_HINT=1 %s env %%u" % recorder, "env", ["env"], True),
            ('"%s" quoted %%f' % spaced, "quoted", ["quoted"], False),
            ("%s uri-list %%U" % recorder, "uri-list", ["uri-list"], True),
            ("%s file-list %%F" % recorder, "file-list", ["file-list"], False),
            ("%s no-code --flag" % recorder, "no-code", ["no-code", "--flag"], False),
            ("%s percent 100%%%% %%f" % recorder, "percent", ["percent", "100%"], False),
        ]
        document = self.document("two words; \u00e9t\u00e9.txt")
        uri = "file://" + urllib.parse.quote(str(document), safe="/")
        for exec_line, name, before, as_uri in cases:
            with self.subTest(exec_line):
                self.make_default(exec_line)
                self.show(str(self.documents), document.name)
                record = self.recorded(name)
                self.assertEqual(record["args"], before + [uri if as_uri else str(document)])
                self.assertEqual(record["cwd"], "/")
                self.assertEqual(record["hint"], "1" if name == "env" else None)
                self.assert_nothing_executed()

    def test_any_name_reaches_the_program_as_the_absolute_path(self):
        self.make_default('sh -c "exec \\\\"\\\\$0\\\\" shell \\\\"\\\\$1\\\\"" %s %%f'
                          % self.recorder)
        for name in NAMES:
            with self.subTest(name):
                document = self.document(name)
                # The relative name, looked up in the directory.
                self.show(str(self.documents), name)
                record = self.recorded("shell")
                self.assertEqual(record["args"], ["shell", str(document)])
                self.assertEqual(record["cwd"], "/")
                self.assert_nothing_executed()
                document.unlink()

    def test_the_default_action_gets_the_absolute_path_whatever_the_name(self):
        bin_folder = self.root / "bin"
        bin_folder.mkdir()
        fake = bin_folder / "xdg-open"
        fake.write_text(RECORDER.replace("RECORDS", repr(str(self.records))).replace(
            'sys.argv[1] if len(sys.argv) > 1 and not sys.argv[1].startswith("/") else "none"',
            '"xdg-open"'))
        fake.chmod(0o755)
        path = "%s:%s" % (bin_folder, os.environ.get("PATH", "/usr/bin:/bin"))
        for name in NAMES:
            with self.subTest(name):
                document = self.document(name)
                # An empty directory: the name is taken from the current directory.
                self.show("", name, cwd=self.documents, env={"PATH": path})
                record = self.recorded("xdg-open")
                self.assertEqual(record["program"], "xdg-open")
                self.assertEqual(record["args"], [str(document)])
                self.assert_nothing_executed()
                document.unlink()

    def test_the_real_default_action_opens_the_document_with_its_application(self):
        self.make_default("%s default %%f" % self.recorder)
        document = self.document("by default.txt")
        # xdg-open consults the desktop's default applications only inside a graphical session;
        # the recorder itself needs no display server, so the variable alone is enough.
        self.show("", str(document), env={"DISPLAY": ":4242"})
        self.assertEqual(self.recorded("default")["args"], ["default", str(document)])
        self.assert_nothing_executed()

    def test_the_result_is_1_when_nothing_can_be_opened(self):
        self.make_default("%s missing %%f" % self.recorder)
        self.show(str(self.documents), "missing.txt")
        self.show("", str(self.documents / "missing.txt"))
        self.assertEqual(sorted(p.name for p in self.root.iterdir()),
                         ["config", "data", "documents", "recorder.py", "records"])
        self.assertEqual(list(self.records.iterdir()), [])


if __name__ == "__main__":
    unittest.main()
