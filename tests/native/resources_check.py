#!/usr/bin/python3
"""Every binary that carries the module's resources carries the site lock and pin its build
folder's configuration wrote (generated/qxSiteLock.txt, qxLoaderSigners.txt), whatever was built
there before: the folder is configured with another lock and pin and built, then configured back
as it was (also when a step fails) and built, and both times the DLL, the test program and the
benchmarks are read back. It rebuilds the folder it checks, so ctest runs it alone.

    resources_check.py <build dir>"""
import os
import re
import subprocess
import sys

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "..", "scripts"))
from dll_text import header_value, rcdata_text  # noqa: E402

BUILD = os.path.abspath(sys.argv[1])
BINARIES = {"qxChecker": "qxChecker.DLL", "qxtests": "tests/qxtests.exe",
            "qxbench_check": "bench/qxbench_check.exe", "qxbench_download": "bench/qxbench_download.exe"}
SETTINGS = {"QX_ALLOWED_SITES": ("IDR_SITE_LOCK", "QX_SITE_LOCK_MAX_BYTES", "qxSiteLock.txt"),
            "QX_LOADER_SIGNERS": ("IDR_LOADER_SIGNERS", "QX_LOADER_SIGNERS_MAX_BYTES", "qxLoaderSigners.txt")}
OTHER = {"QX_ALLOWED_SITES": "resources-check.example", "QX_LOADER_SIGNERS": "ab" * 32}


def configure_and_build(values):
    for command in (["cmake"] + ["-D%s=%s" % item for item in values.items()] + [BUILD],
                    ["cmake", "--build", BUILD, "-j", str(os.cpu_count()), "--target"] + list(BINARIES)):
        done = subprocess.run(command, stdout=subprocess.PIPE, stderr=subprocess.STDOUT, text=True)
        if done.returncode:
            sys.exit("resources_check: %s failed:\n%s" % (" ".join(command), done.stdout[-3000:]))


def problems(values, when):
    for setting, (res, cap, generated) in SETTINGS.items():
        with open(os.path.join(BUILD, "generated", generated), encoding="latin-1") as f:
            wanted = f.read()
        if values[setting].lower() not in wanted.lower():
            yield "%s: the configuration wrote no %s=%s" % (when, setting, values[setting])
        for binary in BINARIES.values():
            carried = rcdata_text(os.path.join(BUILD, binary), header_value(res), header_value(cap), setting)
            if carried != wanted:
                yield "%s: %s carries another %s than its configuration: %r" % (when, binary, setting, carried)


with open(os.path.join(BUILD, "CMakeCache.txt"), encoding="utf-8") as f:
    cache = f.read()
own = {setting: (re.findall(r"^%s:[A-Z]*=(.*)$" % setting, cache, re.M) or [""])[0] for setting in OTHER}
found = []
try:
    configure_and_build(OTHER)
    found += problems(OTHER, "configured with another lock and pin")
finally:
    configure_and_build(own)
found += problems(own, "configured back")
print("\n".join(["FAIL " + p for p in found]) or "resources_check: %s carry their configuration's lock and pin"
      % ", ".join(BINARIES.values()))
sys.exit(1 if found else 0)
