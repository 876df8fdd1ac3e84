#!/usr/bin/python3
"""Reads back the loader's publisher pin a qxChecker.DLL carries and says whether it may be packaged.

    loader-pin.py DLL [--require]

Prints "loader pin of DLL: <sha256>, ..." (the SHA-256 thumbprints of the certificates allowed to
sign the loader, resource IDR_LOADER_SIGNERS of resources/resource.h) and exits 0. A DLL that pins
no signer prints a warning instead: whoever controls the server that serves its description and its loader
decides what its users install. Exits 1 with the reason on stderr when the pin is unreadable, has
a line the DLL would not read as a thumbprint (that line would allow no signer, so no loader could
ever be installed), or, with --require, pins nothing.
"""
import argparse
import re
import sys

from dll_text import Refused, header_value, lines, rcdata_text

IDR_LOADER_SIGNERS = header_value("IDR_LOADER_SIGNERS")
MAX_PIN_BYTES = header_value("QX_LOADER_SIGNERS_MAX_BYTES")  # the DLL reads no larger pin
FIELD = "signer-sha256="


def thumbprint(line):
    """The thumbprint a pin line names (lower case), or None when the DLL would read none from it;
    blanks after the "=" are trimmed, as the DLL trims them."""
    value = line[len(FIELD):].lstrip(" \t") if line.startswith(FIELD) else ""
    return value.lower() if re.fullmatch(r"[0-9A-Fa-f]{64}", value) else None


def thumbprints(text):
    found = []
    for number, line in lines(text):
        if not thumbprint(line):
            raise Refused('line %d, "%s", is not "%s<64 hexadecimal digits>": the DLL would install no loader'
                          % (number, line, FIELD))
        found.append(thumbprint(line))
    return found


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("dll")
    parser.add_argument("--require", action="store_true", help="refuse a DLL that pins no signer")
    args = parser.parse_args()
    try:
        pins = thumbprints(rcdata_text(args.dll, IDR_LOADER_SIGNERS, MAX_PIN_BYTES, "loader pin"))
        if pins:
            print("loader pin of %s: %s" % (args.dll, ", ".join(pins)))
        elif args.require:
            raise Refused("it pins no loader signer, and the pin is required (QX_LOADER_SIGNERS names them)")
        else:
            print("WARNING: %s pins no loader signer: whoever controls the server of its description and "
                  "loader decides what its users install (QX_LOADER_SIGNERS pins the publisher)" % args.dll)
    except Refused as e:
        sys.exit("loader-pin: %s cannot be packaged: %s" % (args.dll, e))


if __name__ == "__main__":
    main()
