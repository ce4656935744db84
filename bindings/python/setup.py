# SPDX-License-Identifier: MIT
# The wheel carries a native library, loaded with ctypes: tagged for its platform (py3-none-PLATFORM),
# never as a pure wheel. The platform is the library's own: a .dll makes win_amd64, else the build
# machine's (linux_x86_64). Shared by the system's wheel and the stand-in's.
import glob
import os
import sysconfig

from setuptools import setup
from setuptools.dist import Distribution
from wheel.bdist_wheel import bdist_wheel


def platform_tag() -> str:
    if glob.glob(os.path.join(os.path.dirname(os.path.abspath(__file__)), "*", "*.dll")):
        return "win_amd64"
    return sysconfig.get_platform().replace("-", "_").replace(".", "_")


class NativeDistribution(Distribution):
    # Not pure: the package goes into the wheel's platform-specific root.
    def has_ext_modules(self) -> bool:
        return True


class NativeWheel(bdist_wheel):
    # Any CPython 3 on the platform: the library is loaded with ctypes, not built against Python.
    def get_tag(self):  # type: ignore[no-untyped-def]
        return "py3", "none", platform_tag()


setup(distclass=NativeDistribution, cmdclass={"bdist_wheel": NativeWheel})
