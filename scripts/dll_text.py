"""The text a qxChecker.DLL carries as an RCDATA resource (a setting its build wrote into it), read
as the DLL reads it: up to the first NUL, one character per byte. Debian's python3 has pefile."""
import os
import re

import pefile

RT_RCDATA = 10
RESOURCE_HEADER = os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "resources", "resource.h")


def header_value(name):
    """A number the DLL's resource header defines (a resource id, a size cap): one definition for
    the DLL and the scripts that read it."""
    with open(RESOURCE_HEADER, encoding="utf-8") as f:
        found = re.search(r"^#define %s (\d+)$" % re.escape(name), f.read(), re.M)
    if not found:
        raise SystemExit("dll_text: %s defines no %s" % (RESOURCE_HEADER, name))
    return int(found.group(1))


class Refused(Exception):
    """The DLL must not ship; the text says why."""


def rcdata_text(path, res_id, max_bytes, what):
    """The text of RCDATA `res_id`; Refused when the DLL has none, several, or one larger than it reads."""
    try:
        pe = pefile.PE(path, fast_load=True)
        pe.parse_data_directories([pefile.DIRECTORY_ENTRY["IMAGE_DIRECTORY_ENTRY_RESOURCE"]])
        kinds = pe.DIRECTORY_ENTRY_RESOURCE.entries if hasattr(pe, "DIRECTORY_ENTRY_RESOURCE") else []
        found = [language.data.struct for kind in kinds if kind.id == RT_RCDATA
                 for name in kind.directory.entries if name.id == res_id
                 for language in name.directory.entries]
        if not found:
            raise Refused("it carries no %s (RCDATA %d)" % (what, res_id))
        if len(found) > 1:
            raise Refused("it carries %d of its %s: which applies would depend on the machine's language"
                          % (len(found), what))
        if found[0].Size > max_bytes:
            raise Refused("its %s is larger than the DLL reads (%d bytes)" % (what, found[0].Size))
        data = pe.get_data(found[0].OffsetToData, found[0].Size)
    except (OSError, AttributeError, pefile.PEFormatError) as e:
        raise Refused("it is not a readable DLL (%s)" % e)
    return data.split(b"\0", 1)[0].decode("latin-1")


def lines(text):
    """(number, line) of every line that is neither blank nor a comment, trimmed as the DLL trims."""
    for number, line in enumerate(text.split("\n"), 1):
        line = line.strip(" \t\r")
        if line and not line.startswith(";"):
            yield number, line
