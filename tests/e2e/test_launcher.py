"""The launcher end to end: a temporary installation (the launcher copied, the library and
Kestrilo.class linked) with a Fennaquil.class of the test's own, started from another directory
with extra arguments, on the real JDK."""

import os
import shutil
import subprocess
import time
import unittest
from pathlib import Path

from tavolin_e2e import OUT, require_tool, temp_folder, virtual_display

EXECUTION_FAILED = ("Tavolin: Can't find the file 'Fennaquil.class'.\n"
                    "This file must reside in the same folder as this application.\n\n"
                    "Error details: ")
VM_MISSING = ("Tavolin: Can't find Microsoft Java Virtual Machine.\n"
              "This is most probably because Internet Explorer 3 (or later) is not installed on "
              "this machine.\n"
              "You will need to install Internet Explorer 3 (or later) to run Tavolin.\n\n"
              "Error details: ")

PRINTS_WHERE_IT_RUNS = """
public class Fennaquil {
    public static void main(String[] args) throws Exception {
        System.out.println(new java.io.File(".").getCanonicalPath());
        System.out.println("arguments=" + args.length);
        System.out.println("thread=" + Thread.currentThread().getName());
    }
}
"""

THROWS = """
public class Fennaquil {
    public static void main(String[] args) {
        throw new IllegalStateException("broken on purpose \\u00e9");
    }
}
"""

LEAVES_A_THREAD = """
public class Fennaquil {
    public static void main(String[] args) {
        Thread sleeper = new Thread(() -> {
            try { Thread.sleep(60000); } catch (InterruptedException e) { }
        });
        sleeper.setDaemon(false);
        sleeper.start();
        System.out.println("left a thread");
    }
}
"""

LEAVES_A_BUSY_THREAD = """
public class Fennaquil {
    static volatile long spins;
    public static void main(String[] args) {
        new Thread(() -> { while (true) ++spins; }).start();
        System.out.println("left a thread");
    }
}
"""

EXITS = """
public class Fennaquil {
    public static void main(String[] args) throws Exception {
        Thread sleeper = new Thread(() -> {
            try { Thread.sleep(60000); } catch (InterruptedException e) { }
        });
        sleeper.start();
        System.out.println("exiting");
        System.exit(3);
    }
}
"""

DEEP = """
public class Fennaquil {
    static int depth(int n) { return n == 0 ? 0 : 1 + depth(n - 1); }
    public static void main(String[] args) {
        System.out.println("depth=" + depth(60000));
    }
}
"""

CALLS_THE_LIBRARY = """
public class Fennaquil {
    public static void main(String[] args) throws Exception {
        // No desktop session in the test: the clipboard cannot be opened.
        System.out.println("copyToClipboard=" + Kestrilo.copyToClipboard("x"));
    }
}
"""

SHOWS_A_WINDOW = """
import javax.swing.*;
public class Fennaquil {
    public static void main(String[] args) throws Exception {
        SwingUtilities.invokeAndWait(() -> {
            JFrame frame = new JFrame("Tavolin test");
            frame.add(new JLabel("shown"));
            frame.setSize(200, 100);
            frame.setVisible(true);
        });
        System.out.println("window shown");
    }
}
"""


PRINTS_THE_FOLDER = """
public class Fennaquil {
    public static void main(String[] args) throws Exception {
        System.out.println(new java.io.File(".").getCanonicalPath());
    }
}
"""

# System.exit(7) is under way on another thread (its shutdown hook has started) when main
# returns: that exit decides the exit code, and its hook runs to its end.
EXITS_ON_ANOTHER_THREAD_AS_MAIN_RETURNS = """
import java.util.concurrent.CountDownLatch;
public class Fennaquil {
    public static void main(String[] args) throws Exception {
        CountDownLatch exiting = new CountDownLatch(1);
        Runtime.getRuntime().addShutdownHook(new Thread(() -> {
            exiting.countDown();
            try { Thread.sleep(100); } catch (InterruptedException e) { }
            System.out.println("hook ran");
        }));
        new Thread(() -> System.exit(7)).start();
        exiting.await();
        System.out.println("main returns");
    }
}
"""

# The thread that calls System.exit(7) has only just been started when main returns.
STARTS_AN_EXITING_THREAD_AS_MAIN_RETURNS = """
public class Fennaquil {
    public static void main(String[] args) {
        new Thread(() -> System.exit(7)).start();
    }
}
"""

HAS_A_SHUTDOWN_HOOK = """
public class Fennaquil {
    public static void main(String[] args) throws Exception {
        java.io.File scratch = new java.io.File("scratch.tmp");
        scratch.createNewFile();
        scratch.deleteOnExit();
        Runtime.getRuntime().addShutdownHook(new Thread(() -> System.out.println("hook ran")));
        System.out.println("main returns");
    }
}
"""

# A shared library in the place of libjvm.so that has no JNI_CreateJavaVM.
NOT_A_VM = "int tavolin_not_a_vm(void) { return 0; }\n"

LOOKED_FOR = "Looked for a Java VM (libjvm.so with JNI_CreateJavaVM) in:\n"
INSTALL_ONE = "Install a Java runtime of version 11 or later, or set JAVA_HOME to one.\n"


class Launcher(unittest.TestCase):
    def setUp(self):
        self.context = temp_folder()
        root = self.context.__enter__()
        self.addCleanup(self.context.__exit__, None, None, None)
        self.install = root / "installation"
        self.install.mkdir()
        self.elsewhere = root / "elsewhere"
        self.elsewhere.mkdir()
        # The launcher is copied: its folder is where its own file really lies.
        shutil.copy2(OUT / "launcher", self.install / "launcher")
        for name in ("libKestrilo.so", "Kestrilo.class", "libcabwriter.so"):
            if (OUT / name).exists():
                (self.install / name).symlink_to((OUT / name).resolve())

    def install_class(self, source):
        source_file = self.install / "src" / "Fennaquil.java"
        source_file.parent.mkdir(exist_ok=True)
        source_file.write_text(source, encoding="utf-8")
        subprocess.run([require_tool("javac"), "-encoding", "UTF-8", "--release", "11",
                        "-cp", str(OUT), "-d", str(self.install), str(source_file)], check=True)

    def launch(self, env=None, timeout=60):
        environment = {k: v for k, v in os.environ.items()
                       if k not in ("DISPLAY", "WAYLAND_DISPLAY")}
        environment.update(env or {})
        started = time.monotonic()
        process = subprocess.run([str(self.install / "launcher"), "extra", "--arguments", "-x"],
                                 cwd=self.elsewhere, env=environment, capture_output=True,
                                 timeout=timeout)
        return process, time.monotonic() - started

    def test_runs_from_its_own_folder_without_arguments(self):
        self.install_class(PRINTS_WHERE_IT_RUNS)
        process, _ = self.launch()
        self.assertEqual(process.returncode, 0, process.stderr)
        self.assertEqual(process.stdout.decode().splitlines(),
                         [str(self.install.resolve()), "arguments=0", "thread=main"])
        self.assertEqual(process.stderr, b"")

    def test_an_exception_out_of_main_is_shown_and_exits_1(self):
        self.install_class(THROWS)
        process, _ = self.launch()
        self.assertEqual(process.returncode, 1)
        self.assertEqual(process.stderr.decode("utf-8"),
                         EXECUTION_FAILED +
                         "java.lang.IllegalStateException: broken on purpose \u00e9\n")

    def test_a_missing_class_is_shown_and_exits_1(self):
        process, _ = self.launch()
        self.assertEqual(process.returncode, 1)
        self.assertEqual(process.stderr.decode(), EXECUTION_FAILED + "can't execute class\n")

    def test_a_missing_vm_is_shown_once_with_where_it_was_looked_for_and_exits_minus_1(self):
        if Path("/usr/lib/jvm/default-java/lib/server/libjvm.so").exists():
            self.skipTest("the system's default Java holds a VM")
        self.install_class(PRINTS_WHERE_IT_RUNS)
        process, _ = self.launch(env={"JAVA_HOME": "/nonexistent", "PATH": "/nonexistent"})
        self.assertEqual(process.returncode, 255)
        default = ("  /usr/lib/jvm/default-java (the system's default Java): " +
                   ("no libjvm.so in it" if Path("/usr/lib/jvm/default-java").exists()
                    else "no such folder"))
        self.assertEqual(process.stderr.decode(),
                         VM_MISSING + "can't init JVM\n" + LOOKED_FOR +
                         "  %s/runtime (the runtime bundled with the launcher): no such folder\n"
                         % self.install.resolve() +
                         "  /nonexistent (JAVA_HOME): no such folder\n"
                         "  PATH: no java program\n" + default + "\n" + INSTALL_ONE)
        self.assertEqual(process.stdout, b"")

    def fake_java_home(self, library_maker):
        """A folder laid out as a Java installation whose lib/server/libjvm.so is made by
        library_maker(path)."""
        home = self.install.parent / "fake-jdk"
        (home / "lib" / "server").mkdir(parents=True)
        library_maker(home / "lib" / "server" / "libjvm.so")
        return home

    def compile_not_a_vm(self, path):
        source = path.parent / "not_a_vm.c"
        source.write_text(NOT_A_VM)
        subprocess.run([require_tool("cc"), "-shared", "-fPIC", "-o", str(path), str(source)],
                       check=True)

    def test_a_libjvm_that_is_no_vm_is_passed_over_for_the_next(self):
        if Path("/usr/lib/jvm/default-java/lib/server/libjvm.so").exists():
            self.skipTest("the system's default Java holds a VM")
        cases = [
            ("a library without JNI_CreateJavaVM", self.compile_not_a_vm,
             "has no JNI_CreateJavaVM"),
            ("a file that does not load", lambda path: path.write_bytes(b"not a library\n"),
             "cannot be loaded ("),
        ]
        self.install_class(PRINTS_THE_FOLDER)
        for name, maker, complaint in cases:
            with self.subTest(name):
                shutil.rmtree(self.install.parent / "fake-jdk", ignore_errors=True)
                home = self.fake_java_home(maker)
                library = "%s/lib/server/libjvm.so" % home
                # The java on PATH is next: the run goes on with it.
                process, _ = self.launch(env={"JAVA_HOME": str(home)})
                self.assertEqual(process.returncode, 0, process.stderr)
                self.assertEqual(process.stdout.decode(), str(self.install.resolve()) + "\n")
                # With nothing after it, the user is told what was wrong with it.
                process, _ = self.launch(env={"JAVA_HOME": str(home), "PATH": "/nonexistent"})
                self.assertEqual(process.returncode, 255)
                self.assertIn("\n  %s (JAVA_HOME): %s %s" % (home, library, complaint),
                              process.stderr.decode())
                self.assertTrue(process.stderr.decode().startswith(
                    VM_MISSING + "can't init JVM\n" + LOOKED_FOR))

    def test_a_runtime_bundled_beside_it_is_taken_first(self):
        # A jlink'd runtime lays its VM out as a JDK does: this JDK stands in for one, with no
        # other Java reachable; a runtime that is no VM is passed over for JAVA_HOME.
        jdk = Path(require_tool("javac")).resolve().parents[1]
        self.install_class(PRINTS_THE_FOLDER)
        (self.install / "runtime").symlink_to(jdk)
        process, _ = self.launch(env={"JAVA_HOME": "/nonexistent", "PATH": "/nonexistent"})
        self.assertEqual(process.returncode, 0, process.stderr)
        self.assertEqual(process.stdout.decode(), str(self.install.resolve()) + "\n")
        (self.install / "runtime").unlink()
        (self.install / "runtime" / "lib" / "server").mkdir(parents=True)
        self.compile_not_a_vm(self.install / "runtime" / "lib" / "server" / "libjvm.so")
        process, _ = self.launch(env={"JAVA_HOME": str(jdk), "PATH": "/nonexistent"})
        self.assertEqual(process.returncode, 0, process.stderr)
        self.assertEqual(process.stdout.decode(), str(self.install.resolve()) + "\n")

    def test_the_folder_is_found_however_the_launcher_is_started(self):
        launcher = self.install / "launcher"
        links = self.elsewhere / "bin"
        links.mkdir()
        (links / "absolute").symlink_to(launcher.resolve())
        (links / "relative").symlink_to(os.path.relpath(launcher, links))
        (links / "chained").symlink_to("relative")
        path = "%s:%s" % (links, os.environ.get("PATH", ""))
        cases = [
            ("through an absolute symbolic link", ["bin/absolute"], None, {}),
            ("through a relative symbolic link", ["bin/relative"], None, {}),
            ("through a link to a link", ["bin/chained"], None, {}),
            ("by name on PATH through a link", ["relative"], None, {"PATH": path}),
            ("with another argument 0", ["not-the-launcher"], str(launcher), {}),
            ("with an empty argument 0", [""], str(launcher), {}),
        ]
        self.install_class(PRINTS_THE_FOLDER)
        for name, argv, executable, env in cases:
            with self.subTest(name):
                environment = dict(os.environ)
                environment.update(env)
                process = subprocess.run(argv + ["extra"], executable=executable,
                                         cwd=self.elsewhere, env=environment,
                                         capture_output=True, timeout=60)
                self.assertEqual(process.returncode, 0, process.stderr)
                self.assertEqual(process.stdout.decode(), str(self.install.resolve()) + "\n")

    def test_system_exit_on_another_thread_as_main_returns_decides_every_time(self):
        cases = [
            ("the exit's hook has begun", EXITS_ON_ANOTHER_THREAD_AS_MAIN_RETURNS,
             "main returns\nhook ran\n"),
            ("the exiting thread has just been started", STARTS_AN_EXITING_THREAD_AS_MAIN_RETURNS,
             ""),
        ]
        for name, program, output in cases:
            with self.subTest(name):
                self.install_class(program)
                outcomes = []
                for _ in range(40):
                    process, _ = self.launch()
                    outcomes.append((process.returncode, process.stdout.decode()))
                self.assertEqual(outcomes, [(7, output)] * 40)

    def test_shutdown_hooks_run_at_a_normal_end(self):
        self.install_class(HAS_A_SHUTDOWN_HOOK)
        process, _ = self.launch()
        self.assertEqual(process.returncode, 0, process.stderr)
        self.assertEqual(process.stdout, b"main returns\nhook ran\n")
        self.assertFalse((self.install / "scratch.tmp").exists())

    def test_a_thread_left_running_does_not_hold_the_process(self):
        for name, program in (("sleeping", LEAVES_A_THREAD), ("computing", LEAVES_A_BUSY_THREAD)):
            with self.subTest(name):
                self.install_class(program)
                process, elapsed = self.launch()
                self.assertEqual(process.returncode, 0, process.stderr)
                self.assertEqual(process.stdout, b"left a thread\n")
                self.assertLess(elapsed, 5.0)

    def test_the_end_stops_the_vm_for_a_thread_dump_once_at_most(self):
        # A thread that computes without pause keeps the end looking at the threads for the
        # whole settle time; a look that took a thread dump would stop the VM every time.
        self.install_class(LEAVES_A_BUSY_THREAD)
        log = self.install.parent / "safepoints.log"
        process, elapsed = self.launch(
            env={"JAVA_TOOL_OPTIONS": "-Xlog:safepoint=info:file=%s" % log})
        self.assertEqual(process.returncode, 0, process.stderr)
        self.assertEqual(process.stdout, b"left a thread\n")
        self.assertGreaterEqual(elapsed, 0.5)
        safepoints = [line for line in log.read_text().splitlines() if "Safepoint \"" in line]
        dumps = [line for line in safepoints if "ThreadDump" in line]
        self.assertLessEqual(len(dumps), 1, "\n".join(dumps))

    def test_system_exit_gives_its_status(self):
        self.install_class(EXITS)
        process, elapsed = self.launch()
        self.assertEqual(process.returncode, 3, process.stderr)
        self.assertEqual(process.stdout, b"exiting\n")
        self.assertLess(elapsed, 5.0)

    def test_java_gets_a_deep_stack_whatever_the_stack_limit(self):
        self.install_class(DEEP)
        process = subprocess.run(["sh", "-c", 'ulimit -s 1024 && exec "$0"',
                                  str(self.install / "launcher")],
                                 cwd=self.elsewhere, capture_output=True, timeout=60)
        self.assertEqual(process.returncode, 0, process.stderr)
        self.assertEqual(process.stdout, b"depth=60000\n")

    def test_the_library_beside_the_launcher_is_found(self):
        self.install_class(CALLS_THE_LIBRARY)
        process, _ = self.launch()
        self.assertEqual(process.returncode, 0, process.stderr)
        self.assertEqual(process.stdout, b"copyToClipboard=0\n")

    def test_java_home_chooses_the_vm(self):
        homes = sorted(Path("/usr/lib/jvm").glob("temurin-2*"))
        if not homes:
            self.skipTest("no second JDK installed")
        self.install_class(PRINTS_WHERE_IT_RUNS)
        process, _ = self.launch(env={"JAVA_HOME": str(homes[-1]), "PATH": "/nonexistent"})
        self.assertEqual(process.returncode, 0, process.stderr)
        self.assertEqual(process.stderr, b"")

    def test_a_swing_window_left_open_does_not_hold_the_process(self):
        self.install_class(SHOWS_A_WINDOW)
        with virtual_display() as display:
            process, elapsed = self.launch(env={"DISPLAY": display})
        self.assertEqual(process.returncode, 0, process.stderr)
        self.assertEqual(process.stdout, b"window shown\n")
        self.assertLess(elapsed, 15.0)


if __name__ == "__main__":
    unittest.main()
