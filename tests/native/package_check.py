#!/usr/bin/python3
"""Checks the publisher's package that scripts/package.sh made, against the DLLs it was made from.

Each cabinet must be what Internet Explorer's code download installs correctly: exactly the DLL
and its INF, the INF naming that DLL's own file name, class, version and processor, the DLL the
build's own bytes with a signature that verifies, and the cabinet signed as well. The sample page
must place that package (class and cabinet name with its version) and call nothing but what the
control's type library declares, with the arguments it takes. Whatever is compared is read from
the built DLLs, the IDL and the page, never restated here. A lock that must not ship is refused.

usage: package_check.py --package-root DIR --shipped DLL --twin DLL --unlocked DLL --idl IDL --page HTML
                        --ca ROOT.PEM
Debian's python3 has pefile; gcab and osslsigncode come from Debian too.
"""
import argparse
import html.parser
import os
import re
import shutil
import struct
import subprocess
import sys
import tempfile
import unittest
import uuid

import pefile

PROGID = "QxChecker.Checker"  # the name scripts create the control by
# What code download calls each processor in an INF's file key, and the PE machine it means.
PROCESSORS = {"x86": pefile.MACHINE_TYPE["IMAGE_FILE_MACHINE_I386"],
              "amd64": pefile.MACHINE_TYPE["IMAGE_FILE_MACHINE_AMD64"]}
ARGS = None
SCRIPTS = os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "..", "scripts")
PACKAGE_SH, LOADER_PIN = os.path.join(SCRIPTS, "package.sh"), os.path.join(SCRIPTS, "loader-pin.py")
sys.path.insert(0, SCRIPTS)
from dll_text import header_value  # noqa: E402  (the ids the DLL's own header gives)
LOCK, PIN = header_value("IDR_SITE_LOCK"), header_value("IDR_LOADER_SIGNERS")


def run(*command, env=None):
    return subprocess.run(command, env=env, stdout=subprocess.PIPE, stderr=subprocess.STDOUT, text=True)


def resource(pe, kind):
    for entry in pe.DIRECTORY_ENTRY_RESOURCE.entries:
        if str(entry.name) == kind:
            data = entry.directory.entries[0].directory.entries[0].data.struct
            return pe.get_data(data.OffsetToData, data.Size)
    raise AssertionError("the DLL has no %s resource" % kind)


def type_library_names(tlb):
    """Every name in the type library's name table (classes, interfaces, methods, parameters)."""
    assert tlb[:4] == b"MSFT", "not a type library"
    varflags, typeinfos = struct.unpack_from("<I", tlb, 0x14)[0], struct.unpack_from("<I", tlb, 0x20)[0]
    # Header, then the optional help DLL field, the type info offsets and the segment directory,
    # whose eighth entry is the name table.
    segments = 0x54 + (4 if varflags & 0x100 else 0) + 4 * typeinfos
    offset, length = struct.unpack_from("<ii", tlb, segments + 7 * 16)
    names, at = set(), offset
    while at < offset + length:
        size = struct.unpack_from("<I", tlb, at + 8)[0] & 0xFF
        names.add(tlb[at + 12:at + 12 + size].decode("ascii"))
        at += 12 + ((size + 3) & ~3)
    return names


class Dll:
    """What a DLL says about itself."""

    def __init__(self, path):
        self.path = path
        with open(path, "rb") as f:
            self.bytes = f.read()
        pe = pefile.PE(data=self.bytes)
        self.machine = pe.FILE_HEADER.Machine
        fixed = pe.VS_FIXEDFILEINFO[0]
        self.version = (fixed.FileVersionMS >> 16, fixed.FileVersionMS & 0xFFFF,
                        fixed.FileVersionLS >> 16, fixed.FileVersionLS & 0xFFFF)
        strings = {}
        for group in pe.FileInfo:
            for info in group if isinstance(group, list) else [group]:
                for table in getattr(info, "StringTable", []):
                    strings.update({k.decode(): v.decode() for k, v in table.entries.items()})
        self.version_text = strings["FileVersion"]
        self.file_name = strings["OriginalFilename"]
        script = resource(pe, "REGISTRY").decode("ascii")
        found = re.search(re.escape(PROGID) + r"\s*=\s*s\s*'[^']*'\s*\{\s*CLSID\s*=\s*s\s*'(\{[^']+\})'", script)
        assert found, "the registry script does not register %s" % PROGID
        self.clsid = found.group(1).upper()
        self.type_library = resource(pe, "TYPELIB")
        # Where signing writes: the checksum and the certificate table's directory entry.
        optional = struct.unpack_from("<I", self.bytes, 0x3C)[0] + 24
        directories = optional + (96 if pe.OPTIONAL_HEADER.Magic == 0x10B else 112)
        self.signing_fields = [(optional + 64, 4), (directories + 4 * 8, 8)]
        self.certificates = struct.unpack_from("<II", self.bytes, directories + 4 * 8)

    def masked(self, data):
        data = bytearray(data)
        for at, size in self.signing_fields:
            data[at:at + size] = b"\0" * size
        return bytes(data)


def parse_inf(text):
    """{section: {key: value}}, both names lower case as code download compares them."""
    sections, current = {}, None
    for line in text.splitlines():
        line = line.split(";", 1)[0].strip() if not line.lstrip().startswith(";") else ""
        if not line:
            continue
        if line.startswith("[") and line.endswith("]"):
            current = sections.setdefault(line[1:-1].strip().lower(), {})
        else:
            key, _, value = line.partition("=")
            current[key.strip().lower()] = value.strip()
    return sections


def verifies(path):
    return run("osslsigncode", "verify", "-CAfile", ARGS.ca, "-in", path)


class Cabinets(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        cls.work = tempfile.mkdtemp()
        cls.packages = []
        for tag, build in (("x86", ARGS.shipped), ("x64", ARGS.twin)):
            cab = os.path.join(ARGS.package_root, "dist", "qxChecker-%s.cab" % tag)
            if not os.path.isfile(cab):
                raise AssertionError("%s is missing (scripts/package.sh makes it)" % cab)
            listing = run("gcab", "-t", cab)
            assert listing.returncode == 0, listing.stdout
            out = os.path.join(cls.work, tag)
            os.makedirs(out)
            extracted = run("gcab", "-x", "-C", out, cab)
            assert extracted.returncode == 0, extracted.stdout
            dll = Dll(build)
            with open(os.path.join(out, "qxChecker.inf"), encoding="ascii") as f:
                inf = parse_inf(f.read())
            cls.packages.append({"tag": tag, "cab": cab, "names": listing.stdout.split(), "out": out,
                                 "dll": dll, "inf": inf,
                                 "staged": os.path.join(ARGS.package_root, "package", tag, dll.file_name)})

    @classmethod
    def tearDownClass(cls):
        shutil.rmtree(cls.work, ignore_errors=True)

    def test_each_cabinet_holds_exactly_the_dll_its_broker_and_its_inf(self):
        for p in self.packages:
            with self.subTest(cabinet=os.path.basename(p["cab"])):
                self.assertEqual(sorted([p["dll"].file_name, "qxBroker.exe", "qxChecker.inf"]), sorted(p["names"]))
                self.assertEqual(0, verifies(os.path.join(p["out"], "qxBroker.exe")).returncode, "the broker is not signed")

    def test_each_cabinet_stays_within_its_size_limit(self):
        for p in self.packages:
            # Every first visitor downloads it: the DLL and, since Protected Mode needs it, the broker.
            limit = {"x86": 165000, "x64": 150000}[p["tag"]]
            self.assertLessEqual(os.path.getsize(p["cab"]), limit, p["cab"])

    def test_inf_is_what_code_download_reads(self):
        for p in self.packages:
            with self.subTest(cabinet=os.path.basename(p["cab"])):
                inf, name = p["inf"], p["dll"].file_name
                self.assertEqual('"$CHICAGO$"', inf["version"]["signature"].upper())
                self.assertEqual("2.0", inf["version"]["advancedinf"])
                self.assertEqual({name.lower(): name, "qxbroker.exe": "qxBroker.exe"}, inf["add.code"])
                section = inf[name.lower()]
                self.assertEqual("yes", section["registerserver"].lower())
                file_keys = {k: v for k, v in section.items() if k.startswith("file-")}
                self.assertEqual(1, len(file_keys), "one file key, for the one processor the cabinet serves")
                key, where = file_keys.popitem()
                self.assertEqual("thiscab", where.lower())
                # The key's processor must be the DLL's: a 64-bit browser cannot load a 32-bit control.
                found = re.fullmatch(r"file-win32-(\w+)", key)
                self.assertTrue(found, key)
                self.assertEqual(PROCESSORS.get(found.group(1)), p["dll"].machine, key)

    def test_inf_names_the_dlls_own_class_and_version(self):
        for p in self.packages:
            with self.subTest(cabinet=os.path.basename(p["cab"])):
                dll, section = p["dll"], p["inf"][p["dll"].file_name.lower()]
                self.assertEqual(dll.clsid, section["clsid"].upper())
                # The class the registry script registers is the type library's coclass.
                self.assertIn(uuid.UUID(dll.clsid).bytes_le, dll.type_library)
                # Code download compares the fixed version; the text beside it must say the same.
                self.assertEqual(",".join(map(str, dll.version)), section["fileversion"])
                self.assertEqual(dll.version, tuple(int(n) for n in re.findall(r"\d+", dll.version_text)))

    def test_dll_in_the_cabinet_is_the_builds_dll_signed(self):
        for p in self.packages:
            with self.subTest(cabinet=os.path.basename(p["cab"])):
                dll = p["dll"]
                inside = os.path.join(p["out"], dll.file_name)
                with open(inside, "rb") as f:
                    carried = f.read()
                with open(p["staged"], "rb") as f:
                    self.assertTrue(f.read() == carried, "the cabinet's DLL is not the one signed for it")
                # Signing only fills the checksum and the certificate directory and appends the
                # certificates: everything else is the build's own bytes.
                self.assertEqual((0, 0), dll.certificates, "the build's DLL is signed already")
                self.assertTrue(dll.masked(dll.bytes) == dll.masked(carried[:len(dll.bytes)]),
                                "the cabinet's DLL is not %s signed" % dll.path)
                table, size = struct.unpack_from("<II", carried, dll.signing_fields[1][0])
                self.assertGreaterEqual(table, len(dll.bytes))
                self.assertEqual(len(carried), table + size, "something besides the signature was appended")
                result = verifies(inside)
                self.assertEqual(0, result.returncode, result.stdout)

    def test_cabinet_signature_verifies_and_holds_the_cabinet_to_its_bytes(self):
        for p in self.packages:
            with self.subTest(cabinet=os.path.basename(p["cab"])):
                result = verifies(p["cab"])
                self.assertEqual(0, result.returncode, result.stdout)
                changed = os.path.join(self.work, "changed.cab")
                with open(p["cab"], "rb") as f:
                    data = bytearray(f.read())
                data[len(data) // 3] ^= 0x01  # inside the compressed files
                with open(changed, "wb") as f:
                    f.write(data)
                self.assertNotEqual(0, verifies(changed).returncode, "a changed cabinet still verifies")


def with_text(dll, res_id, text, folder):
    """A copy of the DLL whose RCDATA `res_id` (the site lock or the loader pin) reads `text`,
    written over its own at its length."""
    pe, copy = pefile.PE(dll), os.path.join(folder, os.path.basename(dll))
    rcdata = next(e for e in pe.DIRECTORY_ENTRY_RESOURCE.entries if e.id == pefile.RESOURCE_TYPE["RT_RCDATA"])
    found = next(e for e in rcdata.directory.entries if e.id == res_id).directory.entries[0].data.struct
    pe.set_bytes_at_rva(found.OffsetToData, text.ljust(found.Size, b"\n")[:found.Size])
    pe.write(copy)
    return copy


class Refusals(unittest.TestCase):
    def test_package_refuses_the_dll_and_leaves_no_cabinet(self):
        env = {k: v for k, v in os.environ.items()
               if not k.startswith(("QX_SIGN_", "QX_PACKAGE_ALLOW_HTTP", "QX_REQUIRE_LOADER_PIN"))}
        required = {"QX_REQUIRE_LOADER_PIN": "1"}
        for dll, res_id, text, extra, reason in (
                (ARGS.unlocked, None, None, {}, "lists no site"), (ARGS.shipped, None, None, {}, "allows plain http"),
                (ARGS.shipped, LOCK, b"allow-any-site=yes", {}, "development build (allow-any-site=yes)"),
                (ARGS.shipped, LOCK, b"site=*.com", {}, '"*.com" is a wildcard over a whole top-level'),
                (ARGS.shipped, PIN, b"signer-sha256=0123", {"QX_PACKAGE_ALLOW_HTTP": "1"}, '"signer-sha256=0123", is not'),
                (ARGS.shipped, PIN, b"", dict(required, QX_PACKAGE_ALLOW_HTTP="1"), "pins no loader signer")):
            with self.subTest(reason), tempfile.TemporaryDirectory() as out:
                os.makedirs(os.path.join(out, "dist"))
                open(os.path.join(out, "dist", "qxChecker-x86.cab"), "wb").close()  # an earlier run's
                result = run("bash", PACKAGE_SH, "i686=" + (with_text(dll, res_id, text, out) if res_id else dll),
                             env=dict(env, QX_PACKAGE_ROOT=out, **extra))
                self.assertTrue(result.returncode and reason in result.stdout, result.stdout)
                self.assertEqual([], [n for n in os.listdir(os.path.join(out, "dist")) if n.endswith(".cab")])

    def test_an_unpinned_dll_is_packaged_with_a_warning_unless_the_pin_is_required(self):
        for extra, code in (([], 0), (["--require"], 1)):
            result = run(sys.executable, LOADER_PIN, ARGS.unlocked, *extra)
            self.assertEqual(code, result.returncode, result.stdout)
            self.assertIn("WARNING" if not code else "pins no loader signer", result.stdout)


class PageParser(html.parser.HTMLParser):
    def __init__(self):
        super().__init__()
        self.objects, self.charsets, self.scripts, self.in_script = [], [], [], False

    def handle_starttag(self, tag, attrs):
        attrs = dict(attrs)
        if tag == "object":
            self.objects.append(attrs)
        elif tag == "meta" and "charset" in attrs:
            self.charsets.append(attrs["charset"].lower())
        elif tag == "script":
            self.in_script = True
            self.scripts.append("")

    def handle_endtag(self, tag):
        if tag == "script":
            self.in_script = False

    def handle_data(self, data):
        if self.in_script:
            self.scripts[-1] += data


def declared_methods(idl):
    """{method: arguments a script passes} of IChecker, as the IDL declares them: a [retval]
    parameter is what the call returns, not an argument."""
    body = re.search(r"interface\s+IChecker\s*:\s*IDispatch\s*\{(.*?)\};", idl, re.S)
    assert body, "no IChecker in the IDL"
    methods = {}
    for name, params in re.findall(r"HRESULT\s+(\w+)\s*\(([^)]*)\)", body.group(1)):
        attributes = re.findall(r"\[([^\]]*)\]", params)
        methods[name] = sum(1 for a in attributes if "retval" not in a)
    return methods


def member_calls(script, names):
    """(name, argument count) of every call `.Name(...)` in the script whose name is capitalised
    or, in any case, one of `names`: the control's methods are PascalCase, the DOM's are not."""
    lowered = {n.lower() for n in names}
    calls = []
    for found in re.finditer(r"\.\s*([A-Za-z_]\w*)\s*\(", script):
        name = found.group(1)
        if not (name[0].isupper() or name.lower() in lowered):
            continue
        depth, count, at, quote, empty = 1, 1, found.end(), None, True
        while depth:
            c = script[at]
            if quote:
                if c == "\\":
                    at += 1
                elif c == quote:
                    quote = None
            elif c in "'\"":
                quote = c
            elif c in "([{":
                depth += 1
            elif c in ")]}":
                depth -= 1
            elif c == "," and depth == 1:
                count += 1
            if depth and not c.isspace():
                empty = False
            at += 1
        calls.append((name, 0 if empty else count))
    return calls


class Page(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        with open(ARGS.page, "rb") as f:
            cls.text = f.read().decode("utf-8")  # a page that says it is UTF-8 must be
        cls.page = PageParser()
        cls.page.feed(cls.text)
        cls.shipped = Dll(ARGS.shipped)

    def test_page_places_the_shipped_package(self):
        self.assertEqual(["utf-8"], self.page.charsets)
        self.assertEqual(1, len(self.page.objects), "one OBJECT: the control")
        placed = self.page.objects[0]
        cab, _, version = placed["codebase"].partition("#")
        path = os.path.join(ARGS.package_root, "dist", cab)
        self.assertTrue(os.path.isfile(path), "the page names %s, which the package does not have" % cab)
        with tempfile.TemporaryDirectory() as out:
            extracted = run("gcab", "-x", "-C", out, path)
            self.assertEqual(0, extracted.returncode, extracted.stdout)
            with open(os.path.join(out, "qxChecker.inf"), encoding="ascii") as f:
                inf = parse_inf(f.read())
        section = inf[inf["add.code"][self.shipped.file_name.lower()].lower()]
        self.assertEqual("CLSID:" + section["clsid"].upper().strip("{}"), placed["classid"].upper())
        self.assertEqual("version=" + section["fileversion"], version.lower())
        # The browsers that run the control are 32-bit by default: the page places the shipped DLL.
        key = next(k for k in section if k.startswith("file-"))
        self.assertEqual(self.shipped.machine, PROCESSORS.get(key.rpartition("-")[2]), key)

    def test_page_calls_only_what_the_type_library_declares(self):
        with open(ARGS.idl, encoding="utf-8") as f:
            methods = declared_methods(f.read())
        built = type_library_names(self.shipped.type_library)
        self.assertTrue(methods)
        for name in methods:
            self.assertIn(name, built, "the built type library lacks %s" % name)
        calls = member_calls("\n".join(self.page.scripts), methods)
        self.assertEqual(set(methods), {name for name, _ in calls}, "the page calls each method")
        for name, arguments in calls:
            self.assertIn(name, methods)
            self.assertEqual(methods[name], arguments, "%s takes %d arguments" % (name, methods[name]))


def main():
    global ARGS
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    for option in ("--package-root", "--shipped", "--twin", "--unlocked", "--idl", "--page", "--ca"):
        parser.add_argument(option, required=True)
    ARGS = parser.parse_args()
    suite = unittest.TestSuite(map(unittest.defaultTestLoader.loadTestsFromTestCase, (Cabinets, Page, Refusals)))
    result = unittest.TextTestRunner(verbosity=2).run(suite)
    sys.exit(0 if result.wasSuccessful() else 1)


if __name__ == "__main__":
    main()
