#!/usr/bin/env python3
"""Checks a built Debian package of Tavolin without installing it into this machine's system:

- lintian reports no error, desktop-file-validate accepts the desktop entry and appstreamcli
  validate the AppStream metadata, whose newest release is the package's version;
- the control fields name the package, its version (the changelog's), the architecture and the
  dependencies the installed files need;
- unpacked into a scratch root (dpkg -x), every file matches the package's md5sums, the layout is
  the installation's (lib/tavolin, the relative bin/tavolin link, the desktop entry, every icon
  size);
- the unpacked `tavolin`, started through its symbolic link under a private X display (xvfb-run),
  runs the sample application: exit status 0 and a line for every service, each giving 1.

    packaging/check_deb.py build-deb/tavolin_<version>_<arch>.deb
"""

import hashlib
import os
import pwd
import re
import struct
import subprocess
import sys
import tempfile
from pathlib import Path
from xml.etree import ElementTree

from checks import check, failures

ROOT = Path(__file__).resolve().parents[1]
ICON_SIZES = (16, 22, 24, 32, 48, 64, 128, 256)
METAINFO = "org.tavolin.Tavolin.metainfo.xml"
INSTALLED = ("launcher", "libKestrilo.so", "libcabwriter.so", "Kestrilo.class", "Fennaquil.class")
# Each service's line of the sample application, as it reports it: "  <call>(...) -> <result>".
SERVICES = ("copyToClipboard", "showFile", "makeCab", "saveJPEG", "makeTransparent", "wav2au")
# Alternatives in a dependency field, each a set of package names any one of which will do.
REQUIRED_DEPENDS = (
    {"default-jre-headless", "java11-runtime-headless"},
    {"libjpeg62-turbo"}, {"zlib1g"}, {"xdg-utils"}, {"libc6"}, {"libstdc++6"},
)
REQUIRED_RECOMMENDS = ({"xclip", "xsel", "wl-clipboard"},)


def run(argv, **kwargs):
    return subprocess.run(argv, capture_output=True, text=True, **kwargs)


def alternatives(field):
    """A dependency field as a list of sets of package names (one set per comma-separated
    entry), versions and architectures left out."""
    entries = []
    for entry in field.split(","):
        names = {re.sub(r"[\s(:\[].*", "", choice.strip()) for choice in entry.split("|")}
        entries.append({name for name in names if name})
    return entries


def png_size(path):
    data = path.read_bytes()[:24]
    return struct.unpack(">II", data[16:24]) if data[12:16] == b"IHDR" else None


def check_lintian(package):
    result = run(["lintian", "--fail-on", "error", "--tag-display-limit", "0", str(package)])
    for line in (result.stdout + result.stderr).splitlines():
        print("     lintian: " + line)
    check(result.returncode == 0, "lintian reports no error")


def check_control(package):
    fields = run(["dpkg-deb", "--field", str(package)], check=True).stdout
    control = dict(re.findall(r"^([A-Za-z-]+): (.*)$", fields, re.MULTILINE))
    version = run(["dpkg-parsechangelog", "-l", str(ROOT / "packaging/debian/changelog"),
                   "-S", "Version"], check=True).stdout.strip()
    architecture = run(["dpkg", "--print-architecture"], check=True).stdout.strip()
    check(control.get("Package") == "tavolin", "Package is tavolin")
    check(control.get("Version") == version, "Version is the changelog's (%s)" % version)
    check(control.get("Architecture") == architecture, "Architecture is " + architecture)
    check(control.get("Installed-Size", "").isdigit(), "Installed-Size is given")
    check("Description" in control and "Maintainer" in control, "Description and Maintainer")
    check(re.fullmatch(r"[^<>@]+ <[^<>@\s]+@[^<>@\s]+\.[a-z]+>", control.get("Maintainer", ""))
          is not None and ".example" not in control.get("Maintainer", ""),
          "Maintainer is a real address (%s)" % control.get("Maintainer"))
    depends = alternatives(control.get("Depends", ""))
    for needed in REQUIRED_DEPENDS:
        check(needed in depends, "Depends on %s" % " | ".join(sorted(needed)))
    recommends = alternatives(control.get("Recommends", ""))
    for needed in REQUIRED_RECOMMENDS:
        check(needed in recommends, "Recommends %s" % " | ".join(sorted(needed)))
    return version


def check_unpacked(package, root, version):
    subprocess.run(["dpkg-deb", "-x", str(package), str(root)], check=True)
    with tempfile.TemporaryDirectory() as control:
        subprocess.run(["dpkg-deb", "-e", str(package), control], check=True)
        sums = (Path(control) / "md5sums").read_text().splitlines()
    wrong = [line for line in sums
             if hashlib.md5((root / line[34:]).read_bytes()).hexdigest() != line[:32]]
    listed = {line[34:] for line in sums}
    files = {str(p.relative_to(root)) for p in root.rglob("*") if p.is_file()
             and not p.is_symlink()}
    check(not wrong and listed == files, "md5sums cover every file and match it")

    folder = root / "usr/lib/tavolin"
    for name in INSTALLED:
        check((folder / name).is_file(), "usr/lib/tavolin/" + name)
    check(os.access(folder / "launcher", os.X_OK), "the launcher is executable")
    link = root / "usr/bin/tavolin"
    check(link.is_symlink() and os.readlink(link) == "../lib/tavolin/launcher",
          "usr/bin/tavolin is the relative link ../lib/tavolin/launcher")
    desktop = root / "usr/share/applications/tavolin.desktop"
    result = run(["desktop-file-validate", str(desktop)])
    check(desktop.is_file() and result.returncode == 0 and not result.stdout.strip(),
          "desktop-file-validate accepts the desktop entry " + result.stdout.strip())
    metainfo = root / "usr/share/metainfo" / METAINFO
    result = run(["appstreamcli", "validate", "--no-net", str(metainfo)])
    check(metainfo.is_file() and result.returncode == 0,
          "appstreamcli validate accepts the AppStream metadata " + result.stdout.strip())
    if metainfo.is_file():
        releases = ElementTree.parse(metainfo).getroot().findall("releases/release")
        newest = releases[0].get("version") if releases else None
        check(newest == version, "the metadata's newest release is %s (%s)" % (version, newest))
    copyright_file = root / "usr/share/doc/tavolin/copyright"
    check(copyright_file.is_file() and "\nLicense: Expat\n" in copyright_file.read_text(),
          "the copyright file gives the MIT (Expat) licence")
    icons = root / "usr/share/icons/hicolor"
    check((icons / "scalable/apps/tavolin.svg").is_file(), "the scalable icon")
    for size in ICON_SIZES:
        png = icons / ("%dx%d/apps/tavolin.png" % (size, size))
        check(png.is_file() and png_size(png) == (size, size), "the %dx%d icon" % (size, size))
    check((root / "usr/share/doc/tavolin/copyright").is_file(), "the copyright file")
    check((root / "usr/share/man/man1/tavolin.1.gz").is_file(), "the manual page")


def check_sample_run(root, scratch):
    """The unpacked tavolin runs the sample as users run an installed one: from another folder,
    as an ordinary user, who may not write the program's folder, and (where this check runs as
    root) as root, who may. Either way the sample works in the user's cache folder and leaves
    the program's folder as the package left it."""
    folder = root / "usr/lib/tavolin"
    before = sorted(str(p.relative_to(folder)) for p in folder.rglob("*"))
    runs = [("an ordinary user", "home")]
    if os.geteuid() == 0:
        runs.append(("root", "root-home"))
    scratch.chmod(0o755)
    for who, home_name in runs:
        home = scratch / home_name
        elsewhere = scratch / (home_name + "-elsewhere")
        home.mkdir()
        elsewhere.mkdir()
        environment = {k: v for k, v in os.environ.items()
                       if k not in ("DISPLAY", "WAYLAND_DISPLAY", "JAVA_HOME", "XDG_CACHE_HOME")}
        environment["HOME"] = str(home)
        command = ["xvfb-run", "-a", str(root / "usr/bin/tavolin"), "ignored", "arguments"]
        ordinary = who == "an ordinary user"
        if ordinary and os.geteuid() == 0:
            # Root may write anywhere: the ordinary user's run is made as nobody, who may not.
            os.chown(home, pwd.getpwnam("nobody").pw_uid, -1)
            command = ["runuser", "-u", "nobody", "--", "env", "HOME=%s" % home] + command
        elif ordinary:
            folder.chmod(0o555)
        try:
            result = run(command, cwd=elsewhere, env=environment, timeout=300)
        finally:
            folder.chmod(0o755)
        print("     %s's run, stdout: " % who +
              result.stdout.replace("\n", "\n     stdout: "))
        if result.stderr:
            print("     stderr: " + result.stderr.replace("\n", "\n     stderr: "))
        check(result.returncode == 0,
              "the installed tavolin exits with 0 for %s (%d)" % (who, result.returncode))
        lines = result.stdout.splitlines()
        for service in SERVICES:
            check(any(line.startswith("  %s(" % service) and line.endswith(" -> 1")
                      for line in lines), "the sample's line for %s, giving 1" % service)
        check("Tavolin sample: done" in lines, "the sample ran to its end")
        check((home / ".cache/tavolin/sample-output/sample.jpg").is_file(),
              "the sample worked in %s's cache folder" % who)
        after = sorted(str(p.relative_to(folder)) for p in folder.rglob("*"))
        check(after == before, "the run left usr/lib/tavolin as it was, for %s (%s)" %
              (who, ", ".join(sorted(set(after) - set(before)))))


def main():
    if len(sys.argv) != 2:
        sys.exit(__doc__)
    package = Path(sys.argv[1]).resolve()
    check_lintian(package)
    version = check_control(package)
    with tempfile.TemporaryDirectory(prefix="tavolin-deb-") as folder:
        scratch = Path(folder)
        root = scratch / "root"
        check_unpacked(package, root, version)
        check_sample_run(root, scratch)
    if failures:
        sys.exit("%d check(s) failed" % len(failures))
    print("the package passed every check")


if __name__ == "__main__":
    main()
