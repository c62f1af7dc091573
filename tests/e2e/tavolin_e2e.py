"""Shared pieces of the end-to-end tests: where the build put things, running Java programs
against the real libKestrilo, a virtual X display, and the peer tools.

The tests run from CTest, which sets TAVOLIN_OUT (the installation folder), TAVOLIN_E2E_CLASSES
(the compiled test programs), TAVOLIN_E2E_LIB (test libraries) and TAVOLIN_BUILD. Run by hand:
    cd tests/e2e && TAVOLIN_OUT=../../build/out ... python3 -m unittest test_clipboard
"""

import contextlib
import os
import re
import shutil
import signal
import subprocess
import tempfile
import time
from pathlib import Path

_ROOT = Path(__file__).resolve().parents[2]
BUILD = Path(os.environ.get("TAVOLIN_BUILD", _ROOT / "build"))
OUT = Path(os.environ.get("TAVOLIN_OUT", BUILD / "out"))
CLASSES = Path(os.environ.get("TAVOLIN_E2E_CLASSES", BUILD / "e2e" / "classes"))
TEST_LIB = Path(os.environ.get("TAVOLIN_E2E_LIB", BUILD / "e2e" / "lib"))
DATA = _ROOT / "tests" / "data"


def java_escape(text):
    """Text for a Java test program's command line: anything outside printable ASCII, and the
    backslash, as \\uXXXX (the program decodes it), so the machine's locale plays no part."""
    out = []
    data = text.encode("utf-16-le")
    for i in range(0, len(data), 2):
        code = data[i] | data[i + 1] << 8
        if 0x20 <= code < 0x7F and code != 0x5C:
            out.append(chr(code))
        else:
            out.append("\\u%04x" % code)
    return "".join(out)


def java_command(main_class, *args):
    # -Xcheck:jni: the VM checks every call the library makes into it (a call while an array is
    # held in place, a missed exception) and says so on the output, which the tests compare.
    return ["java", "-Xcheck:jni", "-Djava.library.path=%s:%s" % (OUT, TEST_LIB),
            "-cp", "%s:%s" % (OUT, CLASSES), main_class, *args]


def run_java(main_class, *args, cwd=None, env=None, timeout=120, pass_fds=(), java_options=()):
    """Runs a test program; returns the CompletedProcess (text output). pass_fds: descriptors
    the VM inherits without close-on-exec; java_options: go before the class."""
    environment = dict(os.environ)
    environment.update(env or {})
    command = java_command(main_class, *args)
    command[1:1] = list(java_options)
    return subprocess.run(command, cwd=cwd, env=environment, capture_output=True, text=True,
                          timeout=timeout, pass_fds=pass_fds)


def call(method, *args, cwd=None, env=None, timeout=120, pass_fds=()):
    """Calls one native method of Kestrilo through the Call program. Strings are escaped for the
    command line; None is passed as a null string. Returns (result, CompletedProcess)."""
    encoded = ["@null" if a is None else java_escape(str(a)) for a in args]
    process = run_java("Call", method, *encoded, cwd=cwd, env=env, timeout=timeout,
                       pass_fds=pass_fds)
    match = re.search(r"^result=(-?\d+)$", process.stdout, re.MULTILINE)
    if not match:
        raise AssertionError("%s gave no result: exit %d\nstdout:\n%s\nstderr:\n%s" %
                             (method, process.returncode, process.stdout, process.stderr))
    return int(match.group(1)), process


def require_tool(name):
    """The path of a peer tool; the tests fail (rather than skip) when it is missing, because the
    test command installs every one of them."""
    path = shutil.which(name)
    if not path:
        raise AssertionError("peer tool %r is not installed (scripts/install-deps.sh)" % name)
    return path


@contextlib.contextmanager
def temp_folder():
    with tempfile.TemporaryDirectory(prefix="tavolin-e2e-") as folder:
        yield Path(folder)


@contextlib.contextmanager
def virtual_display(with_server=False):
    """A private Xvfb server; yields the DISPLAY value (":N"), or (DISPLAY, server process)
    when asked for the server."""
    require_tool("Xvfb")
    read_end, write_end = os.pipe()
    server = subprocess.Popen(["Xvfb", "-displayfd", str(write_end), "-nolisten", "tcp",
                               "-screen", "0", "640x480x24"],
                              pass_fds=(write_end,), stdout=subprocess.DEVNULL,
                              stderr=subprocess.DEVNULL)
    os.close(write_end)
    try:
        with os.fdopen(read_end) as announced:
            number = announced.readline().strip()
        if not number:
            raise AssertionError("Xvfb did not start")
        yield (":" + number, server) if with_server else ":" + number
    finally:
        server.send_signal(signal.SIGCONT)
        server.terminate()
        server.wait(timeout=10)


def wait_for(predicate, timeout=10.0, interval=0.05):
    """Polls until predicate() is true or the time is up; returns its last value."""
    deadline = time.monotonic() + timeout
    while True:
        value = predicate()
        if value or time.monotonic() >= deadline:
            return value
        time.sleep(interval)
