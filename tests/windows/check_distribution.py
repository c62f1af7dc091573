#!/usr/bin/env python3
"""Checks a Windows distribution zip built by scripts/package-windows.sh:

    check_distribution.py <zip> <i686|x86_64>

Its entries (names, order, no time stamps), and of each binary its PE header read here (machine,
subsystem, DLL or program, no link time stamp), the launcher's resources (icon group 101 and
its icons, nothing else), what the launcher imports (no Java VM, no Kestrilo.dll: the VM is
loaded at run time), and the 13 exports of Kestrilo.dll as objdump lists them.
Prints what it checked; exits 1 on the first difference.
"""

import struct
import subprocess
import sys
import tempfile
import zipfile
from pathlib import Path

ENTRIES = ["Fennaquil.class", "Kestrilo.class", "Kestrilo.dll", "LICENSE.txt", "README.txt",
           "launcher.exe"]
MACHINES = {"i686": 0x014C, "x86_64": 0x8664}
TRIPLETS = {"i686": "i686-w64-mingw32", "x86_64": "x86_64-w64-mingw32"}
GUI_SUBSYSTEM = 2
DLL_FLAG = 0x2000
RT_ICON, RT_GROUP_ICON = 3, 14
EXPORTS = sorted(
    ["Kestrilo_" + name for name in
     ("copyToClipboard", "showFile", "makeCab", "makeTransparent", "saveJPEG", "wav2au")] +
    ["Java_Kestrilo_" + name for name in
     ("copyToClipboard", "showFile", "makeCab", "makeTransparent", "saveJPEG", "wav2au")] +
    ["RNIGetCompatibleVersion"])


class PeFile:
    def __init__(self, data):
        self.data = data
        if data[:2] != b"MZ":
            raise ValueError("no MZ header")
        pe = struct.unpack_from("<I", data, 0x3C)[0]
        if data[pe:pe + 4] != b"PE\0\0":
            raise ValueError("no PE signature")
        (self.machine, sections, self.timestamp, _, _, optional_size,
         self.characteristics) = struct.unpack_from("<HHIIIHH", data, pe + 4)
        optional = pe + 24
        magic = struct.unpack_from("<H", data, optional)[0]
        self.subsystem = struct.unpack_from("<H", data, optional + 68)[0]
        directories = optional + (96 if magic == 0x10B else 112)
        self.resource_rva = struct.unpack_from("<I", data, directories + 2 * 8)[0]
        self.sections = []
        table = optional + optional_size
        for i in range(sections):
            size, rva, raw_size, raw = struct.unpack_from("<IIII", data, table + 40 * i + 8)
            self.sections.append((rva, max(size, raw_size), raw))

    def offset(self, rva):
        for start, size, raw in self.sections:
            if start <= rva < start + size:
                return raw + rva - start
        raise ValueError("RVA %#x in no section" % rva)

    def resources(self):
        """{type id: [name ids]} of the resource directory's first two levels."""
        if not self.resource_rva:
            return {}
        base = self.offset(self.resource_rva)

        def entries(at):
            named, ids = struct.unpack_from("<HH", self.data, base + at + 12)
            for i in range(named + ids):
                name, target = struct.unpack_from("<II", self.data, base + at + 16 + 8 * i)
                yield name, target

        found = {}
        for kind, target in entries(0):
            names = []
            if target & 0x80000000:
                names = [name for name, _ in entries(target & 0x7FFFFFFF)]
            found[kind] = names
        return found


def objdump(triplet, path):
    return subprocess.run([triplet + "-objdump", "-p", str(path)], check=True,
                          stdout=subprocess.PIPE, text=True).stdout


def exports(dump):
    names = []
    inside = False
    for line in dump.splitlines():
        if "[Ordinal/Name Pointer] Table" in line:
            inside = True
            continue
        if inside:
            if not line.strip():
                break
            names.append(line.split("]", 1)[1].strip())
    return sorted(names)


def imports(dump):
    return sorted(line.split("DLL Name:", 1)[1].strip().lower()
                  for line in dump.splitlines() if "DLL Name:" in line)


def main():
    zip_path, target = Path(sys.argv[1]), sys.argv[2]
    failures = []

    def check(what, actual, expected):
        ok = actual == expected
        print("%s %s: %s" % ("ok  " if ok else "FAIL", what, actual if ok else
                             "%r, expected %r" % (actual, expected)))
        if not ok:
            failures.append(what)

    with zipfile.ZipFile(zip_path) as archive, tempfile.TemporaryDirectory() as folder:
        infos = archive.infolist()
        check("entries", [info.filename for info in infos], ENTRIES)
        check("no time stamps", {info.date_time for info in infos}, {(1980, 1, 1, 0, 0, 0)})
        archive.extractall(folder)
        check("README names the Java runtime and where it is looked for",
              all(word in archive.read("README.txt").decode("ascii")
                  for word in ("runtime\\bin\\server\\jvm.dll", "JAVA_HOME",
                               "SOFTWARE\\JavaSoft\\JDK", "PATH", "Wine")), True)
        check("LICENSE.txt is the MIT licence",
              "Permission is hereby granted, free of charge" in
              archive.read("LICENSE.txt").decode("ascii"), True)
        for name in ("launcher.exe", "Kestrilo.dll"):
            pe = PeFile((Path(folder) / name).read_bytes())
            check(name + " machine", hex(pe.machine), hex(MACHINES[target]))
            check(name + " link time stamp", pe.timestamp, 0)
            check(name + " is a DLL", bool(pe.characteristics & DLL_FLAG), name.endswith(".dll"))
        launcher = PeFile((Path(folder) / "launcher.exe").read_bytes())
        check("launcher.exe subsystem (2: GUI)", launcher.subsystem, GUI_SUBSYSTEM)
        resources = launcher.resources()
        check("launcher.exe resource types (3: icon, 14: icon group)", sorted(resources),
              [RT_ICON, RT_GROUP_ICON])
        check("launcher.exe icon group", resources.get(RT_GROUP_ICON), [101])
        triplet = TRIPLETS[target]
        launcher_imports = imports(objdump(triplet, Path(folder) / "launcher.exe"))
        check("launcher.exe loads the Java VM and Kestrilo.dll only at run time",
              [dll for dll in launcher_imports if dll in ("jvm.dll", "kestrilo.dll")], [])
        check("Kestrilo.dll exports", exports(objdump(triplet, Path(folder) / "Kestrilo.dll")),
              EXPORTS)
    sys.exit(1 if failures else 0)


if __name__ == "__main__":
    main()
