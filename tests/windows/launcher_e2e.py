"""launcher.exe end to end under Wine, for one target.

No real Java VM runs under Wine here (no Windows JDK can be installed on this machine): the VM is
the stand-in jvm.dll built from fake_jvm.cpp, which acts out a one-line script written as
Fennaquil.class and logs what the launcher asked of it. launcher_run.exe starts the launcher,
reads the text of every message box it shows, closes it, and prints the full exit code.

Environment: TAVOLIN_WINDOWS_BUILD (the Windows build folder), TAVOLIN_WINE (the Wine loader for
the target); WINEPREFIX as the caller set it. Run it on a display (xvfb-run): without one, Wine
shows no message box at all.
"""

import os
import shutil
import subprocess
import tempfile
import time
import unittest
from pathlib import Path

BUILD = Path(os.environ["TAVOLIN_WINDOWS_BUILD"])
WINE = os.environ.get("TAVOLIN_WINE", "wine")
TESTS = BUILD / "tests"

VM_START = ("Can't find Microsoft Java Virtual Machine.\nThis is most probably because Internet "
            "Explorer 3 (or later) is not installed on this machine.\nYou will need to install "
            "Internet Explorer 3 (or later) to run Tavolin.\n\nError details: ")
EXECUTION = ("Can't find the file 'Fennaquil.class'.\nThis file must reside in the same folder "
             "as this application.\n\nError details: ")
WORKER_STACK = 8 << 20


def wineserver(*options):
    subprocess.run([str(Path(WINE).parent / "wineserver"), *options], stdout=subprocess.DEVNULL,
                   stderr=subprocess.DEVNULL, timeout=60)


def setUpModule():
    """A wineserver of this display's own. One left from an earlier run keeps its desktop on the
    display it started with, which may be gone: the launcher's message boxes would then appear
    nowhere, and the launcher would go on as though each had been closed at once."""
    wineserver("-k")
    wineserver("-w")
    wineserver("-p")


def tearDownModule():
    wineserver("-k")
    wineserver("-w")


def windows_path(path):
    return "Z:" + str(path).replace("/", "\\")


def unescaped(text):
    out = bytearray()
    i = 0
    while i < len(text):
        if text.startswith("\\x", i):
            out.append(int(text[i + 2:i + 4], 16))
            i += 4
        else:
            out += text[i].encode("latin-1")
            i += 1
    return out.decode("latin-1")


def field(line, name, following):
    start = line.index(name + "=") + len(name) + 1
    end = line.index(" " + following + "=", start) if following else len(line)
    return line[start:end]


def wine_env(extra):
    env = {k: v for k, v in os.environ.items() if k not in ("JAVA_HOME", "WINEPATH")}
    env.setdefault("WINEDEBUG", "-all")
    env.update(extra)
    return env


def registry(*arguments):
    subprocess.run([WINE, "reg", *arguments], env=wine_env({}), check=False,
                   stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)


def own_view():
    return "/reg:64" if "x86_64" in BUILD.name or "64" in BUILD.name else "/reg:32"


def other_view():
    return "/reg:32" if own_view() == "/reg:64" else "/reg:64"


def prefix_has_two_views():
    prefix = Path(os.environ.get("WINEPREFIX", Path.home() / ".wine"))
    return (prefix / "drive_c" / "windows" / "syswow64").is_dir()


class Run:
    def __init__(self, lines, log, seconds):
        self.dialogs = []
        self.exit_code = None
        self.timed_out = False
        self.seconds = seconds
        for line in lines:
            if line.startswith("dialog "):
                self.dialogs.append({
                    "caption": unescaped(field(line, "caption", "owned")),
                    "owned": field(line, "owned", "icon") == "1",
                    "icon": field(line, "icon", "text") == "1",
                    "text": unescaped(field(line, "text", None)),
                })
            elif line.startswith("exit="):
                self.exit_code = int(line[5:])
            elif line == "timeout":
                self.timed_out = True
        self.log = log

    def texts(self):
        return [dialog["text"] for dialog in self.dialogs]

    def logged(self, word):
        return [line for line in self.log if line.split(" ", 1)[0] == word]


class LauncherUnderWine(unittest.TestCase):
    def setUp(self):
        self.folder = Path(tempfile.mkdtemp(prefix="tavolin-wine-launcher-"))
        self.app = self.folder / "My App"
        self.app.mkdir()
        shutil.copy(BUILD / "out" / "launcher.exe", self.app)
        self.jdk = self.folder / "jdk"
        shutil.copytree(TESTS / "fake-jdk", self.jdk)
        self.log_file = self.folder / "jvm.log"
        self.elsewhere = self.folder / "elsewhere"
        self.elsewhere.mkdir()

    def tearDown(self):
        registry("delete", "HKLM\\SOFTWARE\\JavaSoft", "/f", "/reg:32")
        registry("delete", "HKLM\\SOFTWARE\\JavaSoft", "/f", "/reg:64")
        shutil.rmtree(self.folder, ignore_errors=True)

    def script(self, text):
        (self.app / "Fennaquil.class").write_text(text + "\n")

    def launch(self, java_home=True, extra_env=None, arguments=("extra", "--arguments", "/x")):
        env = {"TAVOLIN_FAKE_JVM_LOG": windows_path(self.log_file)}
        if java_home:
            env["JAVA_HOME"] = windows_path(self.jdk)
        env.update(extra_env or {})
        started = time.monotonic()
        result = subprocess.run(
            [WINE, str(TESTS / "launcher_run.exe"), "60000",
             windows_path(self.app / "launcher.exe"), *arguments],
            cwd=self.elsewhere, env=wine_env(env), stdout=subprocess.PIPE,
            stderr=subprocess.DEVNULL, text=True, timeout=120)
        seconds = time.monotonic() - started
        log = self.log_file.read_text().splitlines() if self.log_file.exists() else []
        run = Run(result.stdout.splitlines(), log, seconds)
        self.assertFalse(run.timed_out, result.stdout)
        self.assertIsNotNone(run.exit_code, result.stdout)
        return run

    def assert_one_message(self, run, text):
        self.assertEqual(run.texts(), [text])
        dialog = run.dialogs[0]
        self.assertEqual(dialog["caption"], "Tavolin")
        self.assertTrue(dialog["icon"], "the error icon")
        # The launcher has no window of its own, so there is no active window to own the box.
        self.assertFalse(dialog["owned"])

    def test_a_clean_run_ends_with_zero_from_the_launchers_folder(self):
        self.script("clean")
        run = self.launch()
        self.assertEqual(run.exit_code, 0)
        self.assertEqual(run.dialogs, [])
        [create] = run.logged("create")
        creator = field(create, "thread", "com")
        self.assertEqual(field(create, "com", "version"), "yes", "COM initialised around the VM")
        options = field(create, "options", None).split("|")
        self.assertIn("-Djava.class.path=.", options)
        self.assertIn("-Djava.library.path=" + windows_path(self.app), options)
        # The class is looked for in the launcher's folder, whatever the starting directory.
        [find] = run.logged("find")
        self.assertEqual(find.split("cwd=", 1)[1].lower(), windows_path(self.app).lower())
        [main] = run.logged("main")
        self.assertNotEqual(field(main, "thread", "arguments"), creator, "main on the worker")
        # Nothing of the command line reaches the class.
        self.assertEqual(field(main, "arguments", "stack"), "0")
        self.assertEqual(int(field(main, "stack", None)), WORKER_STACK)
        self.assertEqual(run.logged("destroy"), [])
        self.assertEqual([line for line in run.log if line.split(" ")[0] in ("halt", "exit")],
                         [run.log[-1]])
        self.assertTrue(run.log[-1].endswith(" 0"), run.log)

    def test_the_command_line_changes_nothing(self):
        self.script("clean")
        bare = self.launch(arguments=())
        self.log_file.unlink()
        many = self.launch(arguments=("-jar", "other.jar", "/S", "C:\\x y"))
        self.assertEqual((bare.exit_code, bare.texts()), (many.exit_code, many.texts()))
        self.assertEqual(field(many.logged("main")[0], "arguments", "stack"), "0")

    def test_each_outcome_gives_its_exit_code_and_message(self):
        cases = [
            ("exception from main", "throw java.lang.IllegalStateException: caf\xe9 boom", 1,
             [EXECUTION + "java.lang.IllegalStateException: caf\xe9 boom"]),
            ("missing class", None, 1, [EXECUTION + "can't execute class"]),
            ("System.exit(3)", "exit 3", 3, []),
            ("VM cannot be created", "refuse-create", -1, [VM_START + "ClassLoader failed"]),
        ]
        for name, script, exit_code, texts in cases:
            with self.subTest(name):
                (self.app / "Fennaquil.class").unlink(missing_ok=True)
                if script is not None:
                    (self.app / "Fennaquil.class").write_bytes(script.encode("latin-1") + b"\n")
                run = self.launch()
                self.assertEqual(run.exit_code, exit_code)
                if texts:
                    self.assert_one_message(run, texts[0])
                else:
                    self.assertEqual(run.dialogs, [])

    def test_a_thread_still_running_does_not_hold_the_end(self):
        self.script("thread")
        run = self.launch()
        self.assertEqual(run.exit_code, 0)
        self.assertEqual(run.logged("thread"), ["thread started"])
        # The stand-in's DestroyJavaVM would wait for ever, as a real one waits for the thread.
        self.assertEqual(run.logged("destroy"), [])
        self.assertLess(run.seconds, 30)

    def test_no_vm_at_all(self):
        self.script("clean")
        run = self.launch(java_home=False)
        self.assertEqual(run.exit_code, -1)
        self.assertEqual(len(run.dialogs), 1)
        self.assertTrue(run.texts()[0].startswith(VM_START + "can't init JVM"), run.texts())
        # The runtime bundled beside the launcher is the first place looked in.
        self.assertIn("\n  " + windows_path(self.app / "runtime") +
                      " (the runtime bundled with the launcher): no such folder\n  JAVA_HOME",
                      run.texts()[0])
        self.assertEqual(run.dialogs[0]["caption"], "Tavolin")
        self.assertEqual(run.log, [])

    def test_a_runtime_bundled_beside_the_launcher_comes_before_java_home(self):
        self.script("clean")
        # As jpackage lays a runtime out: runtime\bin\server\jvm.dll beside the launcher. The
        # JAVA_HOME given holds no VM, so only the bundled runtime can start the run.
        shutil.copytree(self.jdk, self.app / "runtime")
        run = self.launch(java_home=False, extra_env={"JAVA_HOME": windows_path(self.folder)})
        self.assertEqual(run.exit_code, 0, run.texts())
        self.assertEqual(run.dialogs, [])
        self.assertEqual(len(run.logged("create")), 1)

    def test_a_candidate_that_is_no_vm_is_passed_over_for_the_registered_one(self):
        self.script("clean")
        not_vm = self.folder / "not a vm"
        (not_vm / "bin" / "server").mkdir(parents=True)
        (not_vm / "bin" / "client").mkdir(parents=True)
        # A library without JNI_CreateJavaVM, and a file that is no library at all.
        shutil.copy(BUILD / "out" / "Kestrilo.dll", not_vm / "bin" / "server" / "jvm.dll")
        (not_vm / "bin" / "client" / "jvm.dll").write_bytes(b"MZ not really")
        key = "HKLM\\SOFTWARE\\JavaSoft\\JDK"
        registry("add", key, "/v", "CurrentVersion", "/d", "17", "/f", own_view())
        registry("add", key + "\\17", "/v", "JavaHome", "/d", windows_path(self.jdk), "/f",
                 own_view())
        run = self.launch(java_home=False, extra_env={"JAVA_HOME": windows_path(not_vm)})
        self.assertEqual(run.exit_code, 0)
        self.assertEqual(run.dialogs, [])
        self.assertEqual(len(run.logged("create")), 1)

    def test_the_registry_is_read_in_the_view_of_the_launchers_width(self):
        if not prefix_has_two_views():
            self.skipTest("this Wine prefix has one registry view only")
        self.script("clean")
        key = "HKLM\\SOFTWARE\\JavaSoft\\JRE"
        registry("add", key, "/v", "CurrentVersion", "/d", "21", "/f", other_view())
        registry("add", key + "\\21", "/v", "JavaHome", "/d", windows_path(self.jdk), "/f",
                 other_view())
        run = self.launch(java_home=False)
        self.assertEqual(run.exit_code, -1, "an installation of the other width is not used")
        registry("add", key, "/v", "CurrentVersion", "/d", "21", "/f", own_view())
        registry("add", key + "\\21", "/v", "JavaHome", "/d", windows_path(self.jdk), "/f",
                 own_view())
        run = self.launch(java_home=False)
        self.assertEqual(run.exit_code, 0)

    def test_the_java_on_path_is_found_last(self):
        self.script("clean")
        (self.jdk / "bin" / "java.exe").write_bytes(b"")
        run = self.launch(java_home=False, extra_env={"WINEPATH": windows_path(self.jdk / "bin")})
        self.assertEqual(run.exit_code, 0)
        self.assertEqual(len(run.logged("create")), 1)


if __name__ == "__main__":
    unittest.main()
