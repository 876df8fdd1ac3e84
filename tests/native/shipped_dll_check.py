#!/usr/bin/python3
"""Checks the shipped 32-bit qxChecker.DLL without executing it, against its 64-bit twin.

Machines that cannot run 32-bit code still run the twin's whole suite under Wine. What the twin's
tests prove about its resources carries over to the shipped DLL when those resources are the same
bytes; this check proves that, and that the shipped file is a 32-bit DLL with exactly the four COM
entry points that imports nothing but system DLLs. The type libraries are the one resource that
must differ: each must be what widl makes of the same IDL for its own architecture. Every function
it imports from Windows must be one the toolchain's headers declare for the oldest Windows the
build targets (as far as their version guards tell).

usage: shipped_dll_check.py --shipped DLL --twin DLL --system-dir DIR --idl IDL
                            --cc COMPILER --target-defines "-D_WIN32_WINNT=..." -- WIDL-COMMAND...
"""
import argparse
import calendar
import os
import re
import struct
import subprocess
import sys
import tempfile
import time
import unittest

import pefile

ENTRY_POINTS = {"DllCanUnloadNow", "DllGetClassObject", "DllRegisterServer", "DllUnregisterServer"}
SYS_WIN32, SYS_WIN64 = 1, 3
ARGS = None


def load(path):
    return pefile.PE(path)


def resources(pe):
    """{(type, name, language): bytes} for every resource of the file."""
    found = {}
    for kind in pe.DIRECTORY_ENTRY_RESOURCE.entries:
        kind_key = str(kind.name) if kind.name is not None else kind.id
        for name in kind.directory.entries:
            name_key = str(name.name) if name.name is not None else name.id
            for lang in name.directory.entries:
                entry = lang.data.struct
                found[(kind_key, name_key, lang.id)] = pe.get_data(entry.OffsetToData, entry.Size)
    return found


# Where the Windows functions the DLL imports are declared.
API_HEADERS = ("windows.h", "commctrl.h", "ole2.h", "olectl.h", "oleauto.h", "sddl.h", "shellapi.h", "shlobj.h",
               "shlwapi.h", "urlmon.h")


def imports(pe):
    return {entry.dll.decode("ascii").lower() for entry in getattr(pe, "DIRECTORY_ENTRY_IMPORT", [])}


def widl_stamp_masked(tlb):
    """The type library with widl's creation stamp blanked: widl writes the time it ran, as text and
    as a number, so two builds of the same IDL never match byte for byte."""
    data = bytearray(tlb)
    text = re.search(rb"Created by WIDL version [^\n\0]* at (\w{3} \w{3} [ \d]\d \d\d:\d\d:\d\d \d{4})", data)
    if not text:
        raise AssertionError("no widl creation stamp in the type library (has widl changed?)")
    stamp = time.strptime(text.group(1).decode("ascii"), "%a %b %d %H:%M:%S %Y")
    data[text.start():text.end()] = b"#" * (text.end() - text.start())
    # The text is the local or the universal time of the same moment, depending on widl's version.
    candidates = {calendar.timegm(stamp), int(time.mktime(stamp))}
    for moment in candidates:
        for offset in range(moment - 14 * 3600, moment + 14 * 3600 + 1, 900):
            index = data.find(struct.pack("<HI", 0x13, offset & 0xFFFFFFFF))  # VT_UI4, then the value
            if index >= 0:
                data[index + 2:index + 6] = b"####"
                return bytes(data)
    raise AssertionError("widl's creation time as a number was not found beside its text")


class ShippedDll(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        cls.shipped = load(ARGS.shipped)
        cls.twin = load(ARGS.twin)

    def test_is_a_32_bit_dll_for_i386_and_its_twin_a_64_bit_dll_for_amd64(self):
        for pe, machine, magic in ((self.shipped, 0x14C, 0x10B), (self.twin, 0x8664, 0x20B)):
            self.assertEqual(machine, pe.FILE_HEADER.Machine)
            self.assertEqual(magic, pe.OPTIONAL_HEADER.Magic)
            self.assertTrue(pe.FILE_HEADER.Characteristics & pefile.IMAGE_CHARACTERISTICS["IMAGE_FILE_DLL"])

    def test_exports_exactly_the_four_com_entry_points_by_name(self):
        directory = self.shipped.DIRECTORY_ENTRY_EXPORT
        self.assertEqual(len(ENTRY_POINTS), directory.struct.NumberOfFunctions)
        names = {symbol.name.decode("ascii") for symbol in directory.symbols if symbol.name}
        self.assertEqual(ENTRY_POINTS, names)
        self.assertFalse([symbol.forwarder for symbol in directory.symbols if symbol.forwarder])

    def test_imports_only_system_dlls_and_the_same_as_the_twin(self):
        system = {name.lower() for name in os.listdir(ARGS.system_dir) if name.lower().endswith(".dll")}
        shipped = imports(self.shipped)
        self.assertTrue(shipped, "the DLL imports nothing at all")
        self.assertEqual(set(), shipped - system, "imports that are not system DLLs")
        self.assertEqual(imports(self.twin), shipped)

    def test_imports_only_what_the_oldest_targeted_windows_declares(self):
        # The C runtime's imports are the compiler's own, not the Windows API's.
        names = sorted({symbol.name.decode("ascii") for entry in self.shipped.DIRECTORY_ENTRY_IMPORT
                        if entry.dll.decode("ascii").lower() != "msvcrt.dll" for symbol in entry.imports})
        self.assertTrue(names)

        def undeclared(functions):
            with tempfile.TemporaryDirectory() as work:
                source = os.path.join(work, "imports.c")
                with open(source, "w") as f:
                    f.write("".join("#include <%s>\n" % h for h in API_HEADERS))
                    f.write("void *imports[] = {\n%s};\n" % "".join("  (void *)&%s,\n" % n for n in functions))
                result = subprocess.run([ARGS.cc, "-fsyntax-only"] + ARGS.target_defines.split() + [source],
                                        stdout=subprocess.PIPE, stderr=subprocess.STDOUT, text=True)
            return sorted(set(re.findall(r"[\u2018'](\w+)[\u2019'] undeclared", result.stdout)))

        # The guards work: a function of Windows 8 is refused.
        self.assertIn("CreateFile2", undeclared(names + ["CreateFile2"]), "the headers do not guard by version")
        self.assertEqual([], undeclared(names), "imports the targeted Windows does not declare")

    def test_each_dll_stays_within_its_size_limit(self):
        # Every first visitor downloads it and every page's process loads it.
        for path, limit in ((ARGS.shipped, 256000), (ARGS.twin, 300000)):
            self.assertLessEqual(os.path.getsize(path), limit, path)

    def test_resources_other_than_the_type_library_are_byte_identical_to_the_twins(self):
        shipped, twin = resources(self.shipped), resources(self.twin)
        self.assertEqual(sorted(twin, key=str), sorted(shipped, key=str))
        for key in shipped:
            if key[0] != "TYPELIB":
                self.assertEqual(twin[key], shipped[key], "resource %r differs from the twin's" % (key,))

    def test_type_libraries_are_the_same_idl_compiled_for_each_architecture(self):
        def embedded(pe):
            libraries = [data for key, data in resources(pe).items() if key[0] == "TYPELIB"]
            self.assertEqual(1, len(libraries))
            return libraries[0]

        with tempfile.TemporaryDirectory() as work:
            for pe, mode, syskind in ((self.shipped, "--win32", SYS_WIN32), (self.twin, "--win64", SYS_WIN64)):
                out = os.path.join(work, mode.strip("-") + ".tlb")
                subprocess.run(ARGS.widl + [mode, "-t", "-o", out, ARGS.idl], check=True)
                with open(out, "rb") as f:
                    compiled = f.read()
                library = embedded(pe)
                self.assertEqual(b"MSFT", library[:4])
                # The header's flag word carries the system kind in its low nibble.
                self.assertEqual(syskind, struct.unpack_from("<I", library, 0x14)[0] & 0xF, mode)
                self.assertEqual(widl_stamp_masked(compiled), widl_stamp_masked(library),
                                 "the embedded type library is not widl %s of %s" % (mode, ARGS.idl))


def main():
    global ARGS
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--shipped", required=True)
    parser.add_argument("--twin", required=True)
    parser.add_argument("--system-dir", required=True)
    parser.add_argument("--idl", required=True)
    parser.add_argument("--cc", required=True, help="the C compiler of the shipped DLL's toolchain")
    parser.add_argument("--target-defines", required=True, help="the build's Windows version definitions")
    parser.add_argument("widl", nargs="+", help="the widl command line, without its mode")
    ARGS = parser.parse_args()
    for path in (ARGS.shipped, ARGS.twin):
        if not os.path.isfile(path):
            sys.exit("shipped_dll_check: %s is missing (build both architectures: scripts/build.sh)" % path)
    result = unittest.TextTestRunner(verbosity=2).run(unittest.defaultTestLoader.loadTestsFromTestCase(ShippedDll))
    sys.exit(0 if result.wasSuccessful() else 1)


if __name__ == "__main__":
    main()
