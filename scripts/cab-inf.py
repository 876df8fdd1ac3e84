#!/usr/bin/python3
"""Writes the INF that Internet Explorer's code download reads from a control's cabinet.

    cab-inf.py DLL [BROKER] > qxChecker.inf

Everything the INF says is read from the DLL itself, so a cabinet can never announce another
version, class or processor than the file it carries:
  - the file name is the version block's OriginalFilename, and must be the DLL's own name;
  - FileVersion is the fixed version, the numbers code download compares with the installed file
    (the text version beside it must say the same, or the block contradicts itself);
  - clsid is the one class the DLL's registry script gives an InprocServer32;
  - the file key names the DLL's processor (file-win32-x86 or file-win32-amd64).
Debian's python3 has pefile (python3-pefile).
"""
import os
import re
import sys

import pefile

PLATFORM_KEYS = {
    pefile.MACHINE_TYPE["IMAGE_FILE_MACHINE_I386"]: "file-win32-x86",
    pefile.MACHINE_TYPE["IMAGE_FILE_MACHINE_AMD64"]: "file-win32-amd64",
}
GUID = r"\{[0-9A-Fa-f]{8}-[0-9A-Fa-f]{4}-[0-9A-Fa-f]{4}-[0-9A-Fa-f]{4}-[0-9A-Fa-f]{12}\}"


class Refused(Exception):
    pass


def version_strings(pe):
    """The StringFileInfo values of the version block, as text."""
    found = {}
    for group in getattr(pe, "FileInfo", []):
        for info in group if isinstance(group, list) else [group]:
            for table in getattr(info, "StringTable", []):
                for key, value in table.entries.items():
                    found[key.decode("ascii", "replace")] = value.decode("utf-8", "replace")
    return found


def fixed_version(pe):
    fixed = pe.VS_FIXEDFILEINFO[0]
    return (fixed.FileVersionMS >> 16, fixed.FileVersionMS & 0xFFFF,
            fixed.FileVersionLS >> 16, fixed.FileVersionLS & 0xFFFF)


def registry_script(pe):
    directory = getattr(pe, "DIRECTORY_ENTRY_RESOURCE", None)
    for kind in directory.entries if directory else []:
        if kind.name is not None and str(kind.name) == "REGISTRY":
            for name in kind.directory.entries:
                for lang in name.directory.entries:
                    entry = lang.data.struct
                    return pe.get_data(entry.OffsetToData, entry.Size).decode("ascii")
    raise Refused("the DLL has no registry script (resource type REGISTRY)")


def served_class(script):
    """The class whose InprocServer32 is this module: the control a page places."""
    classes = re.findall(r"(" + GUID + r")\s*=\s*s\s*'[^']*'\s*\{[^{}]*InprocServer32\s*=\s*s\s*'%MODULE%'",
                         script)
    if len(classes) != 1:
        raise Refused("the registry script serves %d classes from the module; a cabinet names one"
                      % len(classes))
    return classes[0].upper()


def inf_for(path, broker=None):
    pe = pefile.PE(path)
    key = PLATFORM_KEYS.get(pe.FILE_HEADER.Machine)
    if key is None:
        raise Refused("no code download key for machine type 0x%X" % pe.FILE_HEADER.Machine)
    strings = version_strings(pe)
    name = strings.get("OriginalFilename")
    if name != os.path.basename(path):
        raise Refused("the file is %s but its version block calls it %r" % (os.path.basename(path), name))
    version = fixed_version(pe)
    text = strings.get("FileVersion", "")
    if tuple(int(n) for n in re.findall(r"\d+", text)) != version:
        raise Refused("the version block says %r in text but %s in numbers" % (text, version))
    clsid = served_class(registry_script(pe))
    numbers = ",".join(str(n) for n in version)
    lines = [
        "; Read by Internet Explorer's code download when a page's OBJECT tag names this cabinet.",
        "; Written from %s %s itself by scripts/cab-inf.py." % (name, numbers),
        "[Version]",
        'Signature="$CHICAGO$"',
        "AdvancedINF=2.0",
        "",
        "[Add.Code]",
        "%s=%s" % (name, name),
        "",
        # No DestDir: the control stays in the browser's download cache (Downloaded Program
        # Files), where the browser lists, updates and removes it, instead of the system folder.
        "[%s]" % name,
        "%s=thiscab" % key,
        "clsid=%s" % clsid,
        "FileVersion=%s" % numbers,
        "RegisterServer=yes",
    ]
    if broker:
        # The broker goes where the DLL goes (the registration lists it in IE's elevation policy
        # by the DLL's folder), for the same processor, in the same version; it registers nothing.
        bpe = pefile.PE(broker)
        if bpe.FILE_HEADER.Machine != pe.FILE_HEADER.Machine:
            raise Refused("the broker %s is not for the DLL's processor" % os.path.basename(broker))
        bname = os.path.basename(broker)
        lines.insert(lines.index("[Add.Code]") + 2, "%s=%s" % (bname, bname))
        lines += ["", "[%s]" % bname, "%s=thiscab" % key, "FileVersion=%s" % numbers]
    return "\r\n".join(lines) + "\r\n"


def main():
    if len(sys.argv) not in (2, 3):
        sys.exit("usage: cab-inf.py DLL [BROKER] > INF")
    try:
        sys.stdout.buffer.write(inf_for(sys.argv[1], sys.argv[2] if len(sys.argv) == 3 else None).encode("ascii"))
    except Refused as problem:
        sys.exit("cab-inf: %s: %s" % (sys.argv[1], problem))


if __name__ == "__main__":
    main()
