#!/usr/bin/python3
"""The package check's readers of site entries and pin lines (scripts/site-lock.py, loader-pin.py)
against every row of the shared data files (tests/data), which the build's and the DLL's readers
are tested against too."""
import importlib.util
import os
import sys
import unittest

HERE = os.path.dirname(os.path.abspath(__file__))
SCRIPTS, DATA = os.path.join(HERE, "..", "..", "scripts"), os.path.join(HERE, "..", "data")
sys.path.insert(0, SCRIPTS)
from dll_text import lines  # noqa: E402


def script(name):
    spec = importlib.util.spec_from_file_location(name.replace("-", "_"), os.path.join(SCRIPTS, name + ".py"))
    module = importlib.util.module_from_spec(spec)
    spec.loader.exec_module(module)
    return module


def rows(name):
    with open(os.path.join(DATA, name), encoding="utf-8") as f:
        for line in f.read().split("\n"):
            if line and not line.startswith("#"):
                verdict, value, why = line.split("\t")
                yield verdict, value.replace("\\t", "\t"), why


class SharedFormats(unittest.TestCase):
    def test_site_entries(self):
        site_lock = script("site-lock")
        for verdict, entry, why in rows("site_entries.tsv"):
            with self.subTest(entry=entry, why=why):
                self.assertEqual(verdict == "site", site_lock.site_refusal(entry) is None)

    def test_pin_lines(self):
        loader_pin = script("loader-pin")
        for verdict, value, why in rows("pin_lines.tsv"):
            with self.subTest(value=value, why=why):
                read = [loader_pin.thumbprint(line) for _, line in lines(loader_pin.FIELD + value + "\n")]
                self.assertEqual([value.strip(" \t").lower()] if verdict == "pin" else [None], read)


if __name__ == "__main__":
    unittest.main()
