"""Opening a document end to end, through the real JVM, with a private XDG set-up: desktop
entries of the forms real applications install, each naming a recorder that writes down its
arguments, working directory and environment. The documents are scripts that leave a marker file
when run, by sh or by Python, so that a document taken for the program shows. The program chosen
and its arguments are compared with what `gio open` starts over the same set-up."""

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
        require_tool("gio")
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
        # The system's folders: their own applications, and the system's MIME database alone.
        self.system = self.root / "system"
        (self.system / "applications").mkdir(parents=True)
        (self.root / "mimedb").mkdir()
        (self.root / "mimedb" / "mime").symlink_to("/usr/share/mime")
        self.environment = {
            "XDG_DATA_HOME": str(self.root / "data"),
            "XDG_DATA_DIRS": "%s:%s" % (self.system, self.root / "mimedb"),
            "XDG_CONFIG_HOME": str(self.config), "XDG_CONFIG_DIRS": str(self.config),
            "XDG_CURRENT_DESKTOP": "", "DISPLAY": "", "WAYLAND_DISPLAY": "", "BROWSER": "",
        }
        # Every document here is plain text or a kind of it.
        self.type = "text/plain"

    def tearDown(self):
        self.folder_context.__exit__(None, None, None)

    def document(self, name):
        path = self.documents / name
        path.write_text(DOCUMENT.replace("MARKER", str(self.marker)))
        path.chmod(0o755)
        return path

    def make_default(self, exec_line, program=None):
        """Writes the entry and makes it the default for the documents' type in mimeapps.list."""
        (self.applications / "tavolin-app.desktop").write_text(
            "[Desktop Entry]\nType=Application\nName=Recorder\nExec=%s\n" % exec_line)
        (self.config / "mimeapps.list").write_text(
            "[Default Applications]\n%s=tavolin-app.desktop\n" % self.type)

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
            # A local document reaches %u and %U as its path, as GIO gives it.
            ("env TAVOLIN_HINT=1 %s env %%u" % recorder, "env", ["env"], False),
            ('"%s" quoted %%f' % spaced, "quoted", ["quoted"], False),
            ("%s uri-list %%U" % recorder, "uri-list", ["uri-list"], False),
            ("%s file-list %%F" % recorder, "file-list", ["file-list"], False),
            ("%s no-code --flag" % recorder, "no-code", ["no-code", "--flag"], False),
            ("%s percent 100%%%% %%f" % recorder, "percent", ["percent", "100%"], False),
            ("%s no-fuse %%u\nX-GIO-NoFuse=true" % recorder, "no-fuse", ["no-fuse"], True),
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
        self.document("doc.txt")
        self.show(str(self.documents), "missing.txt")
        self.show("", str(self.documents / "missing.txt"))
        # A name over 255 characters would name another file when cut: nothing is opened.
        self.show(str(self.documents), "doc.txt" + "/" * 300)
        self.assertEqual(sorted(p.name for p in self.root.iterdir()),
                         ["config", "data", "documents", "mimedb", "recorder.py", "records",
                          "system"])
        self.assertEqual(list(self.records.iterdir()), [])


# A recorder of the shell's own commands only: whether it holds descriptor 200, its working
# directory, the hint variable, the desktop entry GIO names to a program it launched, its name and
# its arguments, NUL-separated. The descriptor is
# looked at with a builtin before anything else is started: a listing by another program would
# see that program's descriptors.
SHELL_RECORDER = """#!/bin/sh
fd=no; [ -e /proc/$$/fd/200 ] && fd=yes
printf '%s\\0' "$fd" "$PWD" "${TAVOLIN_HINT-}" "${GIO_LAUNCHED_DESKTOP_FILE-}" "$0" "$@" \\
  > RECORD.tmp
mv RECORD.tmp RECORD
"""


def entry(exec_line, extra=""):
    return "[Desktop Entry]\nType=Application\nName=Recorder\nExec=%s\n%s" % (exec_line, extra)


def defaults(*ids, group="Default Applications"):
    return "[%s]\ntext/plain=%s\n" % (group, ";".join(ids))


class LikeGioOpen(unittest.TestCase):
    """showFile starts the program gio open starts, with the same arguments, over private XDG
    set-ups that exercise each rule of the desktop's choice."""

    def setUp(self):
        require_tool("gio")
        self.folder_context = temp_folder()
        self.root = self.folder_context.__enter__()
        self.record = self.root / "record"
        self.bin = self.root / "bin"
        self.bin.mkdir()
        self.recorder = self.bin / "rec"
        self.recorder.write_text(SHELL_RECORDER.replace("RECORD", str(self.record)))
        self.recorder.chmod(0o755)
        for folder in ("data/applications", "system/applications", "config", "mimedb",
                       "documents"):
            (self.root / folder).mkdir(parents=True)
        (self.root / "mimedb" / "mime").symlink_to("/usr/share/mime")
        self.documents = self.root / "documents"
        self.marker = self.root / "MARKER"
        self.environment = {
            "XDG_DATA_HOME": str(self.root / "data"),
            "XDG_DATA_DIRS": "%s:%s" % (self.root / "system", self.root / "mimedb"),
            "XDG_CONFIG_HOME": str(self.root / "config"),
            "XDG_CONFIG_DIRS": str(self.root / "config"),
            "XDG_CURRENT_DESKTOP": "", "DISPLAY": "", "WAYLAND_DISPLAY": "",
            "PATH": "%s:%s" % (self.bin, os.environ.get("PATH", "/usr/bin:/bin")),
        }

    def tearDown(self):
        self.folder_context.__exit__(None, None, None)

    def write(self, files):
        for name, text in files.items():
            path = self.root / name
            path.parent.mkdir(parents=True, exist_ok=True)
            path.write_text(text.replace("$REC", str(self.recorder)))

    def recorded(self, started):
        """The recorder's fields, or None when nothing was started (given a moment to)."""
        if not wait_for(self.record.exists, timeout=15 if started else 1):
            return None
        fields = self.record.read_bytes().split(b"\0")[:-1]
        self.record.unlink()
        return [field.decode("utf-8", "surrogateescape") for field in fields]

    def show(self, name, env=None, pass_fds=()):
        result, process = call("showFile", str(self.documents), name, cwd=self.root,
                               env=dict(self.environment, **(env or {})), pass_fds=pass_fds)
        self.assertEqual(result, 1, process.stderr)

    def gio_open(self, name, env=None):
        subprocess.run(["gio", "open", str(self.documents / name)], cwd=self.root,
                       env=dict(dict(os.environ, **self.environment), **(env or {})),
                       capture_output=True, timeout=30)

    CASES = [
        # (name, files, extra environment, document, started)
        ("plain", {"data/applications/a.desktop": entry("$REC plain %f"),
                   "config/mimeapps.list": defaults("a.desktop")}, {}, "notes.txt", True),
        ("in the system folder", {"system/applications/a.desktop": entry("$REC system %f"),
                                  "config/mimeapps.list": defaults("a.desktop")},
         {}, "notes.txt", True),
        ("an added association before the system's cache",
         {"system/applications/a.desktop": entry("$REC cached %f"),
          "system/applications/b.desktop": entry("$REC added %f"),
          "system/applications/mimeinfo.cache": "[MIME Cache]\ntext/plain=a.desktop;\n",
          "config/mimeapps.list": defaults("b.desktop", group="Added Associations")},
         {}, "notes.txt", True),
        ("a removed association",
         {"system/applications/a.desktop": entry("$REC removed %f"),
          "system/applications/b.desktop": entry("$REC kept %f"),
          "system/applications/mimeinfo.cache": "[MIME Cache]\ntext/plain=a.desktop;b.desktop;\n",
          "config/mimeapps.list": defaults("a.desktop", group="Removed Associations")},
         {}, "notes.txt", True),
        ("the desktop's own list first",
         {"data/applications/a.desktop": entry("$REC general %f"),
          "data/applications/b.desktop": entry("$REC desktop-specific %f"),
          "config/mimeapps.list": defaults("a.desktop"),
          "config/tavdesk-mimeapps.list": defaults("b.desktop")},
         {"XDG_CURRENT_DESKTOP": "TavDesk"}, "notes.txt", True),
        ("a default naming a missing entry",
         {"data/applications/b.desktop": entry("$REC second %f"),
          "config/mimeapps.list": defaults("missing.desktop", "b.desktop")},
         {}, "notes.txt", True),
        ("an entry in a subfolder",
         {"data/applications/vendor/app.desktop": entry("$REC vendor %f"),
          "config/mimeapps.list": defaults("vendor-app.desktop")}, {}, "notes.txt", True),
        ("a shell script falls back on plain text",
         {"data/applications/a.desktop": entry("$REC parent-type %f"),
          "config/mimeapps.list": defaults("a.desktop")}, {}, "script.sh", True),
        ("in a terminal",
         {"data/applications/a.desktop": entry("$REC in-terminal %f", "Terminal=true\n"),
          "config/mimeapps.list": defaults("a.desktop")}, {}, "notes.txt", True),
        ("a program on PATH",
         {"data/applications/a.desktop": entry("env TAVOLIN_HINT=1 $REC env %U"),
          "config/mimeapps.list": defaults("a.desktop")}, {}, "notes.txt", True),
        ("NoDisplay is still used",
         {"data/applications/a.desktop": entry("$REC no-display %f", "NoDisplay=true\n"),
          "config/mimeapps.list": defaults("a.desktop")}, {}, "notes.txt", True),
        ("TryExec found, no document code",
         {"data/applications/a.desktop": entry("$REC try-exec --flag", "TryExec=sh\n"),
          "config/mimeapps.list": defaults("a.desktop")}, {}, "notes.txt", True),
        ("icon, name and location",
         {"data/applications/a.desktop": entry("$REC codes %i %c %k %f", "Icon=tav-icon\n"),
          "config/mimeapps.list": defaults("a.desktop")}, {}, "notes.txt", True),
        ("TryExec missing",
         {"data/applications/a.desktop": entry("$REC x %f", "TryExec=tavolin-not-installed\n"),
          "config/mimeapps.list": defaults("a.desktop")}, {}, "notes.txt", False),
        ("hidden is deleted",
         {"data/applications/a.desktop": entry("$REC x %f", "Hidden=true\n"),
          "config/mimeapps.list": defaults("a.desktop")}, {}, "notes.txt", False),
        ("a hidden entry hides the system's",
         {"data/applications/a.desktop": entry("$REC x %f", "Hidden=true\n"),
          "system/applications/a.desktop": entry("$REC x %f"),
          "config/mimeapps.list": defaults("a.desktop")}, {}, "notes.txt", False),
        ("not an application",
         {"data/applications/a.desktop": entry("$REC x %f").replace("Application", "Link"),
          "config/mimeapps.list": defaults("a.desktop")}, {}, "notes.txt", False),
        ("no such entry", {"config/mimeapps.list": defaults("tavolin-missing.desktop")},
         {}, "notes.txt", False),
    ]

    def test_the_same_program_and_arguments_as_gio_open(self):
        # Terminals GIO knows, both installed: it takes the first of its list.
        for terminal in ("xterm", "konsole"):
            (self.bin / terminal).symlink_to(self.recorder)
        for name, files, env, document, started in self.CASES:
            with self.subTest(name):
                for folder in ("data/applications", "system/applications", "config"):
                    shutil.rmtree(self.root / folder)
                    (self.root / folder).mkdir(parents=True)
                self.write(files)
                (self.documents / document).write_text(
                    "#!/bin/sh\ntouch %s\n" % self.marker if document.endswith(".sh")
                    else "plain text\n")
                self.gio_open(document, env)
                expected = self.recorded(started)
                self.show(document, env)
                got = self.recorded(started)
                self.assertEqual(got is not None, started)
                if started:
                    # Everything but the working directory: gio open's is its caller's.
                    self.assertEqual(got[:1] + got[2:], expected[:1] + expected[2:])
                    self.assertEqual(got[1], "/")
                    self.assertIn(str(self.documents / document), got)
                self.assertFalse(self.marker.exists())

    def test_a_stray_descriptor_of_the_vm_never_reaches_the_program(self):
        self.write({"data/applications/a.desktop": entry("$REC stray %f"),
                    "config/mimeapps.list": defaults("a.desktop")})
        (self.documents / "notes.txt").write_text("plain text\n")
        stray = os.open("/dev/null", os.O_RDONLY)
        try:
            os.dup2(stray, 200, inheritable=True)
            # The check itself can fail: the recorder started with the descriptor sees it.
            subprocess.run([str(self.recorder), "direct"], pass_fds=(200,), check=True)
            self.assertEqual(self.recorded(True)[0], "yes")
            self.show("notes.txt", pass_fds=(200,))
        finally:
            os.close(200)
            os.close(stray)
        record = self.recorded(True)
        self.assertEqual(record[0], "no")
        self.assertEqual(record[4:],
                         [str(self.recorder), "stray", str(self.documents / "notes.txt")])

    def test_exec_lines_that_could_run_the_name_start_nothing(self):
        # A name that is a command wherever a shell reads it as script text: it leaves PWNED in
        # the home folder.
        name = "x;cd;touch PWNED;.txt"
        cases = [
            ("single-quoted script", "sh -c 'cat<%f'"),
            ("backslash-escaped blank", "sh -c cat\\\\ %f"),
            ("field code inside quotes", 'sh -c "cat<%f"'),
            ("field code after a quoted part", 'sh -c "cat<"%f'),
            ("unquoted redirection", "sh -c cat<%f"),
            ("unknown field code", "$REC %z %f"),
            ("relative program", "./rec %f"),
        ]
        (self.documents / name).write_text("plain text\n")
        for label, exec_line in cases:
            with self.subTest(label):
                self.write({"data/applications/a.desktop": entry(exec_line),
                            "config/mimeapps.list": defaults("a.desktop")})
                self.show(name, env={"HOME": str(self.root)})
                self.assertIsNone(self.recorded(False))
                self.assertFalse((self.root / "PWNED").exists(), "the name ran as a command")


if __name__ == "__main__":
    unittest.main()
