#!/usr/bin/python3
"""Every binary that carries the module's resources carries what its build folder's configuration
says, whatever was built there before (a demo's pinned build, then the tests' unpinned one): the
folder is configured with another site lock and pin and built, then configured back as it was and
built, and each time the DLL, the test program and the benchmarks must carry exactly the lock and
the pin that configuration wrote (generated/qxSiteLock.txt, generated/qxLoaderSigners.txt).

    resources_check.py <build dir>

It rebuilds the folder it checks, so ctest runs it alone (RUN_SERIAL); the folder is configured
back as it was also when a step fails."""
import os
import re
import subprocess
import sys

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "..", "scripts"))
from dll_text import header_value, rcdata_text  # noqa: E402

BUILD = os.path.abspath(sys.argv[1])
BINARIES = {"qxChecker": "qxChecker.DLL", "qxtests": "tests/qxtests.exe",
            "qxbench_check": "bench/qxbench_check.exe", "qxbench_download": "bench/qxbench_download.exe"}
SETTINGS = {"IDR_SITE_LOCK": ("QX_ALLOWED_SITES", "qxSiteLock.txt", "QX_SITE_LOCK_MAX_BYTES"),
            "IDR_LOADER_SIGNERS": ("QX_LOADER_SIGNERS", "qxLoaderSigners.txt", "QX_LOADER_SIGNERS_MAX_BYTES")}
OTHER = {"QX_ALLOWED_SITES": "resources-check.example", "QX_LOADER_SIGNERS": "ab" * 32}


def cached(name):
    with open(os.path.join(BUILD, "CMakeCache.txt"), encoding="utf-8") as f:
        found = re.search(r"^%s:[A-Z]*=(.*)$" % name, f.read(), re.M)
    return found.group(1) if found else ""


def configure_and_build(values):
    for command in (["cmake"] + ["-D%s=%s" % item for item in values.items()] + [BUILD],
                    ["cmake", "--build", BUILD, "-j", str(os.cpu_count()), "--target"] + list(BINARIES)):
        done = subprocess.run(command, stdout=subprocess.PIPE, stderr=subprocess.STDOUT, text=True)
        if done.returncode:
            sys.exit("resources_check: %s failed:\n%s" % (" ".join(command), done.stdout[-3000:]))


def mismatches(values):
    found = []
    for res, (setting, generated, cap) in SETTINGS.items():
        with open(os.path.join(BUILD, "generated", generated), encoding="latin-1") as f:
            wanted = f.read()
        if values[setting] and values[setting].lower() not in wanted.lower():
            found.append("the configuration wrote no %s=%s" % (setting, values[setting]))
        for binary in BINARIES.values():
            carried = rcdata_text(os.path.join(BUILD, binary), header_value(res), header_value(cap), setting)
            if carried != wanted:
                found.append("%s carries another %s than its configuration's: %r" % (binary, setting, carried))
    return found


def main():
    own = {setting: cached(setting) for setting in OTHER}
    problems = []
    try:
        configure_and_build(OTHER)
        problems += ["after configuring another lock and pin: " + p for p in mismatches(OTHER)]
    finally:
        configure_and_build(own)
    problems += ["after configuring back: " + p for p in mismatches(own)]
    for problem in problems:
        print("FAIL", problem)
    if problems:
        sys.exit(1)
    print("resources_check: %s carry their configuration's lock and pin, before and after it changed"
          % ", ".join(BINARIES.values()))


if __name__ == "__main__":
    main()
