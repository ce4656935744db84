#!/usr/bin/env python3
# SPDX-License-Identifier: MIT
"""Assembles one wheel's project in a folder of its own and makes the wheel there:

    make_wheel.py --project DIR --stage DIR --out DIST --package NAME=SOURCE_DIR
                  [--file NAME=PATH]... [--version V] [--strip TOOL]

DIR holds pyproject.toml and README.md; setup.py (beside this script) tags the wheel for the
platform of the native library it carries. --file copies a file into the package (a native
library, the generated header module); --version writes the package's _version.py; --strip removes
the native libraries' debug sections from the wheel's copies."""

import argparse
import glob
import os
import shutil
import subprocess
import sys

HERE = os.path.dirname(os.path.abspath(__file__))


def main() -> int:
    parser = argparse.ArgumentParser()
    parser.add_argument("--project", required=True)
    parser.add_argument("--stage", required=True)
    parser.add_argument("--out", required=True)
    parser.add_argument("--package", required=True)
    parser.add_argument("--file", action="append", default=[])
    parser.add_argument("--version")
    parser.add_argument("--strip")
    options = parser.parse_args()

    name, source = options.package.split("=", 1)
    shutil.rmtree(options.stage, ignore_errors=True)
    package = os.path.join(options.stage, name)
    shutil.copytree(source, package, ignore=shutil.ignore_patterns("__pycache__"))
    for item in ("pyproject.toml", "README.md"):
        shutil.copy(os.path.join(options.project, item), options.stage)
    shutil.copy(os.path.join(HERE, "setup.py"), options.stage)
    shutil.copy(os.path.join(HERE, "..", "..", "LICENSE"), options.stage)
    for item in options.file:
        target, path = item.split("=", 1)
        shutil.copyfile(path, os.path.join(package, target))  # follows a symbolic link
        if options.strip and not target.endswith((".py", ".dll")):
            subprocess.run([options.strip, "--strip-debug", os.path.join(package, target)], check=True)
    if options.version:
        with open(os.path.join(package, "_version.py"), "w") as file:
            file.write(f'VERSION = "{options.version}"\n')

    os.makedirs(options.out, exist_ok=True)
    for old in glob.glob(os.path.join(options.out, name + "-*.whl")):
        os.remove(old)
    built = subprocess.run([sys.executable, "-m", "build", "--no-isolation", "--wheel", "--outdir", options.out,
                            options.stage], stdout=subprocess.PIPE, stderr=subprocess.STDOUT, text=True)
    if built.returncode != 0:
        print(built.stdout)
        return built.returncode
    return 0


if __name__ == "__main__":
    sys.exit(main())
