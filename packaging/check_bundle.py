#!/usr/bin/env python3
"""Checks the self-contained Linux bundle (scripts/package-linux-bundle.sh) as a user without
Java would run it:

- the archive holds one folder "tavolin" with the launcher, the libraries, the classes and a
  jlink'd runtime (runtime/lib/server/libjvm.so, only the modules named, no header files or
  manual pages), every entry owned by root and dated alike;
- unpacked, its launcher runs the sample application to its end, on a private X display, in a
  mount namespace where a tmpfs hides /usr/lib/jvm (every installed Java), with JAVA_HOME unset
  and a PATH that holds only the clipboard tool: exit status 0, a line for every service giving 1,
  and the sample's files in the user's cache folder, none in the bundle's;
- the same run with the runtime moved away fails with "can't init JVM" and the places looked in:
  so no other Java was reachable, and the first run's VM was the bundled one.

Needs root or unprivileged user namespaces (unshare).

    packaging/check_bundle.py dist/tavolin-linux-x86_64.tar.gz
"""

import os
import shutil
import subprocess
import sys
import tarfile
import tempfile
from pathlib import Path

from checks import check, failures

FILES = ("launcher", "libKestrilo.so", "libcabwriter.so", "Kestrilo.class", "Fennaquil.class",
         "LICENSE", "README.txt", "runtime/lib/server/libjvm.so", "runtime/release")
SERVICES = ("copyToClipboard", "showFile", "makeCab", "saveJPEG", "makeTransparent", "wav2au")
# Inside the namespace: every installed Java hidden, then the launcher with nothing of the
# caller's environment but the display.
HIDE_JAVA = ('mount -t tmpfs tmpfs /usr/lib/jvm && exec env -i HOME="$1" PATH="$2" '
             'LANG=C.UTF-8 DISPLAY="$DISPLAY" XAUTHORITY="$XAUTHORITY" "$3"')


def check_archive(archive):
    with tarfile.open(archive) as tar:
        members = tar.getmembers()
    names = {member.name for member in members}
    check(all(name == "tavolin" or name.startswith("tavolin/") for name in names),
          "one folder, tavolin")
    for name in FILES:
        check("tavolin/" + name in names, "tavolin/" + name)
    check(not any(name.startswith(("tavolin/runtime/include", "tavolin/runtime/man"))
                  for name in names), "no header files or manual pages in the runtime")
    check(len({member.mtime for member in members}) == 1 and
          all(member.uid == 0 and member.gid == 0 for member in members),
          "every entry owned by root and dated alike")


def check_modules(folder):
    """The runtime holds java.base and what jdeps finds the classes need, no more."""
    release = (folder / "runtime/release").read_text()
    modules = next((line.split("=", 1)[1].strip('"').split()
                    for line in release.splitlines() if line.startswith("MODULES=")), [])
    classes = sorted(str(p) for p in folder.glob("*.class"))
    needed = subprocess.run(["jdeps", "--multi-release", "11", "--ignore-missing-deps",
                             "--print-module-deps"] + classes,
                            capture_output=True, text=True, check=True).stdout.strip()
    wanted = sorted(set(["java.base"] + [m for m in needed.split(",") if m]))
    check(sorted(modules) == wanted, "the runtime's modules are %s (%s)" % (wanted, modules))


def sample_run(launcher, home, tools, elsewhere):
    unshare = ["unshare", "--mount"] if os.geteuid() == 0 else \
        ["unshare", "--map-root-user", "--mount"]
    command = ["xvfb-run", "-a"] + unshare + ["--", "sh", "-c", HIDE_JAVA, "sh", str(home),
                                              str(tools), str(launcher)]
    environment = {k: v for k, v in os.environ.items()
                   if k not in ("DISPLAY", "WAYLAND_DISPLAY", "JAVA_HOME")}
    result = subprocess.run(command, cwd=elsewhere, env=environment, capture_output=True,
                            text=True, timeout=300)
    print("     stdout: " + result.stdout.replace("\n", "\n     stdout: "))
    if result.stderr:
        print("     stderr: " + result.stderr.replace("\n", "\n     stderr: "))
    return result


def check_runs_alone(archive, scratch):
    root = scratch / "unpacked"
    root.mkdir()
    with tarfile.open(archive) as tar:
        for member in tar.getmembers():
            # Nothing outside the folder it is unpacked into.
            if member.name.startswith("/") or ".." in member.name.split("/") or \
                    member.issym() and (member.linkname.startswith("/") or ".." in member.linkname):
                sys.exit("unsafe entry in the archive: " + member.name)
        tar.extractall(root)
    folder = root / "tavolin"
    check_modules(folder)
    before = sorted(str(p.relative_to(folder)) for p in folder.rglob("*"))
    home = scratch / "home"
    tools = scratch / "tools"
    elsewhere = scratch / "elsewhere"
    for made in (home, tools, elsewhere):
        made.mkdir()
    clipboard = shutil.which("xclip")
    if check(clipboard is not None, "xclip, the clipboard tool, is installed"):
        (tools / "xclip").symlink_to(clipboard)

    result = sample_run(folder / "launcher", home, tools, elsewhere)
    check(result.returncode == 0, "the bundle's launcher exits with 0 (%d)" % result.returncode)
    lines = result.stdout.splitlines()
    for service in SERVICES:
        check(any(line.startswith("  %s(" % service) and line.endswith(" -> 1")
                  for line in lines), "the sample's line for %s, giving 1" % service)
    check("Tavolin sample: done" in lines, "the sample ran to its end")
    check((home / ".cache/tavolin/sample-output/sample.jpg").is_file(),
          "the sample worked in the user's cache folder")
    after = sorted(str(p.relative_to(folder)) for p in folder.rglob("*"))
    check(after == before, "the run left the bundle's folder as it was")

    (folder / "runtime").rename(folder / "runtime.away")
    result = sample_run(folder / "launcher", home, tools, elsewhere)
    expected_start = ("Looked for a Java VM (libjvm.so with JNI_CreateJavaVM) in:\n"
                      "  %s/runtime (the runtime bundled with the launcher): no such folder\n"
                      "  JAVA_HOME: not set\n  PATH: no java program\n"
                      "  /usr/lib/jvm/default-java (the system's default Java): no such folder\n"
                      % folder.resolve())
    check(result.returncode == 255 and "can't init JVM\n" + expected_start in result.stderr,
          "without its runtime the launcher finds no Java VM at all (%d)" % result.returncode)


def main():
    if len(sys.argv) != 2:
        sys.exit(__doc__)
    archive = Path(sys.argv[1]).resolve()
    check_archive(archive)
    with tempfile.TemporaryDirectory(prefix="tavolin-bundle-") as folder:
        scratch = Path(folder)
        scratch.chmod(0o755)
        check_runs_alone(archive, scratch)
    if failures:
        sys.exit("%d check(s) failed" % len(failures))
    print("the bundle passed every check")


if __name__ == "__main__":
    main()
