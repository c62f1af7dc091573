#!/usr/bin/env python3
"""Checks the Windows installers of one target (scripts/package-msi.sh): their tables, then an
install, an upgrade and a removal under Wine in a fresh prefix.

- the tables: a per-machine installation (ALLUSERS 1) into ProgramFiles64Folder (x86_64) or
  ProgramFilesFolder (i686), a Start-menu shortcut to the launcher with the icon, the icon in
  Apps & Features, the upgrade table that MajorUpgrade makes, the version given;
- `msiexec /i` of the older installer puts every file of the distribution zip, byte for byte,
  into Program Files\\Tavolin, a shortcut to the launcher in the Start menu, and an uninstall
  entry (name, version, publisher, the command that removes it);
- `msiexec /i` of the newer one replaces it: one entry, the newer version's, one shortcut;
- `msiexec /x` removes every file, the folder, the shortcut, the icon's copy, the registry value
  and the uninstall entry, and leaves nothing behind in the prefix that was not there before.

    check_msi.py <target> <wine loader> <prefix> <zip> <older.msi> <newer.msi>
"""

import os
import re
import shutil
import subprocess
import sys
import zipfile
from pathlib import Path

failures = []
UNINSTALL = "HKLM\\Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\"


def check(condition, what):
    print(("ok   " if condition else "FAIL ") + what)
    if not condition:
        failures.append(what)
    return condition


def table(msi, name):
    """The rows of a table as dictionaries (msiinfo export: names, types, key, then rows)."""
    lines = subprocess.run(["msiinfo", "export", str(msi), name], capture_output=True,
                           text=True, check=True).stdout.splitlines()
    columns = lines[0].split("\t")
    return [dict(zip(columns, line.split("\t"))) for line in lines[3:]]


def properties(msi):
    return {row["Property"]: row["Value"] for row in table(msi, "Property")}


def check_tables(msi, target, version):
    props = properties(msi)
    check(props.get("ALLUSERS") == "1", "installs for the whole machine (ALLUSERS 1)")
    check(props.get("ProductVersion") == version, "ProductVersion %s" % version)
    check(props.get("ARPPRODUCTICON") == "tavolin.ico", "Apps & Features shows the icon")
    folder = "ProgramFiles64Folder" if target == "x86_64" else "ProgramFilesFolder"
    directories = {row["Directory"]: row for row in table(msi, "Directory")}
    install = directories.get("INSTALLDIR", {})
    check(install.get("Directory_Parent") == folder and install.get("DefaultDir") == "Tavolin",
          "installs into %s\\Tavolin" % folder)
    shortcuts = table(msi, "Shortcut")
    check(len(shortcuts) == 1 and shortcuts[0]["Directory_"] == "ProgramMenuFolder" and
          shortcuts[0]["Target"] == "[INSTALLDIR]launcher.exe" and
          shortcuts[0]["Icon_"] == "tavolin.ico", "one Start-menu shortcut to the launcher")
    upgrades = table(msi, "Upgrade")
    check(any(row["UpgradeCode"] == props.get("UpgradeCode") and row["ActionProperty"] ==
              "WIX_UPGRADE_DETECTED" for row in upgrades), "older versions are replaced")
    return props["ProductCode"]


class Wine:
    def __init__(self, loader, prefix):
        self.loader = loader
        self.prefix = Path(prefix)
        # No menu entries of the host's desktop for the shortcuts made inside the prefix.
        self.env = dict(os.environ, WINEPREFIX=str(self.prefix), WINEDEBUG="-all",
                        WINELOADER=loader, WINEDLLOVERRIDES="winemenubuilder.exe=d")

    def run(self, *arguments):
        return subprocess.run([self.loader, *arguments], env=self.env, capture_output=True,
                              text=True, errors="replace", timeout=600)

    def msiexec(self, action, msi):
        return self.run("msiexec", action, "Z:" + str(msi).replace("/", "\\"), "/qn").returncode

    def values(self, key):
        """A registry key's values, or None when there is no such key."""
        result = self.run("reg", "query", key)
        if result.returncode != 0:
            return None
        return dict(re.findall(r"^\s+(\S+)\s+REG_\w+\s+(.*?)\s*$", result.stdout, re.MULTILINE))

    def server(self, option):
        """-w: waits until every program of the prefix has ended; -k: ends them."""
        server = Path(self.loader).with_name("wineserver")
        subprocess.run([str(server), option], env=self.env, capture_output=True, timeout=300)

    def files(self):
        drive = self.prefix / "drive_c"
        return {str(p.relative_to(drive)) for p in drive.rglob("*")
                if not p.is_symlink() and p.is_file()}


def shortcuts(drive):
    return sorted(p for p in drive.rglob("Tavolin.lnk"))


def lnk_names(lnk, text):
    data = lnk.read_bytes()
    return text.encode("latin-1") in data or text.encode("utf-16-le") in data


def check_installed(wine, drive, install, expected, product, version):
    present = {p.name: p.read_bytes() for p in install.iterdir()} if install.is_dir() else {}
    check(present == expected, "Program Files holds the distribution's files, byte for byte "
          "(%s)" % ", ".join(sorted(present)))
    links = shortcuts(drive)
    check(len(links) == 1 and "Start Menu" in str(links[0]),
          "one Start-menu shortcut (%s)" % ", ".join(str(p.relative_to(drive)) for p in links))
    if links:
        check(lnk_names(links[0], "Tavolin\\launcher.exe"), "the shortcut starts the launcher")
        check(lnk_names(links[0], "tavolin.ico"), "the shortcut carries the icon")
    icon = drive / "windows/Installer" / product / "tavolin.ico"
    check(icon.is_file() and icon.read_bytes()[:4] == b"\0\0\1\0", "the icon's copy " + str(icon))
    entry = wine.values(UNINSTALL + product) or {}
    check(entry.get("DisplayName") == "Tavolin" and entry.get("DisplayVersion") == version and
          entry.get("Publisher") == "The Tavolin developers" and
          entry.get("UninstallString", "").upper().endswith("/X" + product.upper()),
          "the uninstall entry of %s %s" % (product, version))


def main():
    if len(sys.argv) != 7:
        sys.exit(__doc__)
    target, loader, prefix, zip_path = sys.argv[1:5]
    older, newer = Path(sys.argv[5]).resolve(), Path(sys.argv[6]).resolve()
    older_version = properties(older)["ProductVersion"]
    newer_version = properties(newer)["ProductVersion"]
    older_code = check_tables(older, target, older_version)
    newer_code = check_tables(newer, target, newer_version)
    check(older_code != newer_code, "each version has its own ProductCode")
    with zipfile.ZipFile(zip_path) as archive:
        expected = {name: archive.read(name) for name in archive.namelist()}

    # A prefix of its own, fresh: what the installer leaves behind is all that differs.
    shutil.rmtree(prefix, ignore_errors=True)
    wine = Wine(loader, prefix)
    wine.run("wineboot", "-i")
    wine.server("-w")
    drive = wine.prefix / "drive_c"
    before = wine.files()
    programs = "Program Files (x86)" if target == "i686" and \
        (drive / "Program Files (x86)").is_dir() else "Program Files"
    install = drive / programs / "Tavolin"

    print("== install %s" % older.name)
    check(wine.msiexec("/i", older) == 0, "msiexec /i %s %s succeeds" % (older.name, older_version))
    check_installed(wine, drive, install, expected, older_code, older_version)
    check(wine.values("HKLM\\Software\\Tavolin") is not None, "the shortcut's registry value")

    print("== upgrade to %s" % newer_version)
    check(wine.msiexec("/i", newer) == 0, "msiexec /i of the newer installer succeeds")
    check_installed(wine, drive, install, expected, newer_code, newer_version)
    check(wine.values(UNINSTALL + older_code) is None and
          not (drive / "windows/Installer" / older_code).exists(),
          "the older version's entry and icon are gone")

    print("== remove")
    check(wine.msiexec("/x", newer) == 0, "msiexec /x succeeds")
    check(not install.exists(), "Program Files\\Tavolin is gone")
    check(shortcuts(drive) == [], "the shortcut is gone")
    check(not (drive / "windows/Installer" / newer_code).exists(), "the icon's copy is gone")
    check(wine.values(UNINSTALL + newer_code) is None, "the uninstall entry is gone")
    check(wine.values("HKLM\\Software\\Tavolin") is None, "the registry value is gone")
    wine.server("-w")
    left = sorted(wine.files() - before)
    check(not left, "nothing else left behind (%s)" % ", ".join(left))
    wine.server("-k")
    if failures:
        sys.exit("%d check(s) failed" % len(failures))
    print("the installers passed every check")


if __name__ == "__main__":
    main()
