#!/usr/bin/python3
"""Reads back the site lock a qxChecker.DLL carries and says whether the DLL may be packaged.

    site-lock.py DLL [--allow-http]

Prints "site lock of DLL: site, site..." and exits 0, or exits 1 with the reason on stderr when the
DLL must not ship: no lock (resource IDR_SITE_LOCK of resources/resource.h) or an unreadable one, a
development build (allow-any-site=yes, every page could use it), no site (no page could use it), an entry that
is not a site or whose wildcard covers a whole top-level domain, a line the DLL would ignore (the
lock would not be the one its author wrote), or a plain http:// entry unless --allow-http: a
network attacker can inject the description and its digest into plain http traffic.
The text is read line by line as the DLL reads it (scripts/dll_text.py).
"""
import argparse
import re
import sys

from dll_text import Refused, header_value, lines, rcdata_text

IDR_SITE_LOCK = header_value("IDR_SITE_LOCK")
MAX_LOCK_BYTES = header_value("QX_SITE_LOCK_MAX_BYTES")  # the DLL reads no larger lock
# Optional scheme, optional "*.", then labels of letters, digits and hyphens joined by single dots;
# letters in any case, as the DLL takes them.
SITE = re.compile(r"(https?://)?(\*\.)?([a-z0-9-]+(?:\.[a-z0-9-]+)*)", re.I | re.A)


def site_refusal(entry):
    """Why `entry` (trimmed of blanks as the DLL trims it) is no site entry, or None for a site."""
    found = SITE.fullmatch(entry.strip(" \t"))
    if not found:
        return '"%s" is not a site (host, *.domain.tld, http://host or https://host)' % entry
    if found.group(2) and "." not in found.group(3):
        return '"%s" is a wildcard over a whole top-level domain' % entry
    return None


def lock_text(path):
    return rcdata_text(path, IDR_SITE_LOCK, MAX_LOCK_BYTES, "site lock")


def sites(text, allow_http):
    entries = []
    for number, line in lines(text):
        if line == "allow-any-site=no":
            continue
        if line.lower() == "allow-any-site=yes":
            raise Refused("it is a development build (allow-any-site=yes): every page could use it")
        if not line.startswith("site="):
            raise Refused('line %d, "%s", is not one the DLL reads: it would be ignored' % (number, line))
        entries.append(line[len("site="):].strip(" \t"))
    if not entries:
        raise Refused("it lists no site: no page could use it (QX_ALLOWED_SITES names them)")
    for entry in entries:
        refusal = site_refusal(entry)
        if refusal:
            raise Refused(refusal)
        if entry.lower().startswith("http://") and not allow_http:
            raise Refused('"%s" allows plain http, into which a network attacker can inject the description '
                          "and its digest (--allow-http, or QX_PACKAGE_ALLOW_HTTP=1 for package.sh, accepts "
                          "it: loopback or demo servers only)" % entry)
    return entries


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("dll")
    parser.add_argument("--allow-http", action="store_true", help="accept plain http:// entries")
    args = parser.parse_args()
    try:
        print("site lock of %s: %s" % (args.dll, ", ".join(sites(lock_text(args.dll), args.allow_http))))
    except Refused as e:
        sys.exit("site-lock: %s cannot be packaged: %s" % (args.dll, e))


if __name__ == "__main__":
    main()
