#!/usr/bin/env python3
# SPDX-License-Identifier: MIT
"""The two wheels of a build: named and tagged for the platform, the system's carrying the binding
and the system's library (and no device library), the stand-in's its device library alone.

    wheel_contents.py DIST PLATFORM        (PLATFORM: linux_x86_64 or win_amd64)"""

import glob
import os
import struct
import subprocess
import sys
import tempfile
import zipfile


def the_wheel(dist: str, name: str, platform: str) -> zipfile.ZipFile:
    found = glob.glob(os.path.join(dist, f"{name}-*-py3-none-{platform}.whl"))
    assert len(found) == 1, f"{name}: wheels for {platform} in {dist}: {os.listdir(dist)}"
    return zipfile.ZipFile(found[0])


def metadata(wheel: zipfile.ZipFile, file: str) -> str:
    [path] = [name for name in wheel.namelist() if name.endswith(".dist-info/" + file)]
    return wheel.read(path).decode()


def check_native(data: bytes, platform: str, name: str) -> None:
    if platform == "win_amd64":
        assert data[:2] == b"MZ", f"{name} is not a PE file"
        pe = struct.unpack_from("<I", data, 0x3C)[0]
        assert data[pe:pe + 4] == b"PE\0\0", f"{name} is not a PE file"
        assert struct.unpack_from("<H", data, pe + 4)[0] == 0x8664, f"{name} is not for x64"
        return
    assert data[:4] == b"\x7fELF" and data[4] == 2 and struct.unpack_from("<H", data, 18)[0] == 62, \
        f"{name} is not an x86-64 ELF library"
    with tempfile.NamedTemporaryFile() as copy:
        copy.write(data)
        copy.flush()
        dynamic = subprocess.run(["readelf", "-d", copy.name], stdout=subprocess.PIPE, text=True, check=True).stdout
    for line in dynamic.splitlines():
        if "RUNPATH" in line or "RPATH" in line:
            assert "[$ORIGIN]" in line, f"{name} has a run path of the build: {line}"


def check(dist: str, platform: str) -> None:
    windows = platform == "win_amd64"
    system_library = "kovavantorquadrelv3.dll" if windows else "libkovavantorquadrelv3.so.1"
    device_library = "VQUAD.dll" if windows else "libVQUAD.so.1"

    system = the_wheel(dist, "kovavantorquadrelv3", platform)
    names = set(system.namelist())
    for file in ("__init__.py", "_header.py", "py.typed", system_library):
        assert "kovavantorquadrelv3/" + file in names, f"the system's wheel lacks {file}: {sorted(names)}"
    assert not any(device_library in name for name in names), "the system's wheel carries a device library"
    wheel_file = metadata(system, "WHEEL")
    assert f"Tag: py3-none-{platform}" in wheel_file and "Root-Is-Purelib: false" in wheel_file, wheel_file
    requirements = metadata(system, "METADATA")
    assert "Requires-Dist: numpy" in requirements and "Provides-Extra: standin" in requirements, requirements
    native = system.read("kovavantorquadrelv3/" + system_library)
    check_native(native, platform, system_library)
    assert device_library.encode() in native, f"{system_library} does not import {device_library}"

    standin = the_wheel(dist, "kovavantorquadrelv3_standin", platform)
    names = set(standin.namelist())
    for file in ("__init__.py", "_version.py", "py.typed", device_library):
        assert "kovavantorquadrelv3_standin/" + file in names, f"the stand-in's wheel lacks {file}: {sorted(names)}"
    assert not any(system_library in name for name in names), "the stand-in's wheel carries the system's library"
    assert f"Tag: py3-none-{platform}" in metadata(standin, "WHEEL")
    check_native(standin.read("kovavantorquadrelv3_standin/" + device_library), platform, device_library)
    print(f"both {platform} wheels: names, tags, metadata and contents as expected")


if __name__ == "__main__":
    check(sys.argv[1], sys.argv[2])
