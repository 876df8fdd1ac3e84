#!/usr/bin/python3
"""The package check's readers of site entries and pin lines (scripts/site-lock.py, loader-pin.py)
against every row of the shared data files (tests/data), which the build's and the DLL's readers
are tested against too."""
import importlib.util
import os
import sys
import unittest

HERE = os.path.dirname(os.path.abspath(__file__))
SCRIPTS = os.path.join(HERE, "..", "..", "scripts")
sys.path.insert(0, SCRIPTS)
from dll_text import lines  # noqa: E402


def script(name):
    found = importlib.util.spec_from_file_location(name.replace("-", "_"), os.path.join(SCRIPTS, name + ".py"))
    found.loader.exec_module(module := importlib.util.module_from_spec(found))
    return module


def rows(name):
    with open(os.path.join(HERE, "..", "data", name), encoding="utf-8") as f:
        return [[field.replace("\\t", "\t") for field in line.split("\t")]
                for line in f.read().split("\n") if line and line[0] != "#"]


class SharedFormats(unittest.TestCase):
    def test_site_entries(self):
        refusal = script("site-lock").site_refusal
        for verdict, entry, why in rows("site_entries.tsv"):
            self.assertEqual(verdict == "site", refusal(entry) is None, "%r: %s" % (entry, why))

    def test_pin_lines(self):
        pin = script("loader-pin")
        for verdict, value, why in rows("pin_lines.tsv"):
            read = [pin.thumbprint(line) for _, line in lines(pin.FIELD + value + "\n")]
            self.assertEqual([value.strip(" \t").lower()] if verdict == "pin" else [None], read, "%r: %s" % (value, why))


if __name__ == "__main__":
    unittest.main()
