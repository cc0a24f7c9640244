"""Builds quarnel3._quarnel3 and the component module with CMake on the
repository and puts both into the package.

QUARNEL3_BUILD_DIR: a CMake build directory to build in (an existing one is
reused: only the extension is added to it); default python/build/cmake.
QUARNEL3_CMAKE_ARGS: more arguments for a new build directory's configure.
"""

import os
import shlex
import shutil
import subprocess
import sys

from setuptools import Extension, setup
from setuptools.command.build_ext import build_ext

HERE = os.path.dirname(os.path.abspath(__file__))
REPO = os.path.dirname(HERE)


def cmake_build_dir():
    return os.path.abspath(os.environ.get("QUARNEL3_BUILD_DIR") or os.path.join(HERE, "build", "cmake"))


def configure_arguments(build_dir):
    # The base interpreter, not a venv's: the cache must outlive the venv.
    python = getattr(sys, "_base_executable", None) or sys.executable
    arguments = ["cmake", "-S", REPO, "-B", build_dir, "-DQUARNEL3_PYTHON=ON", f"-DPython_EXECUTABLE={python}"]
    if not os.path.exists(os.path.join(build_dir, "CMakeCache.txt")):
        if shutil.which("ninja"):
            arguments += ["-G", "Ninja"]
        arguments += ["-DCMAKE_BUILD_TYPE=Release", "-DQUARNEL3_TESTS=OFF", "-DQUARNEL3_BENCH=OFF"]
        arguments += shlex.split(os.environ.get("QUARNEL3_CMAKE_ARGS", ""))
    return arguments


class BuildWithCMake(build_ext):
    def build_extension(self, ext):
        build_dir = cmake_build_dir()
        subprocess.check_call(configure_arguments(build_dir))
        jobs = os.environ.get("CMAKE_BUILD_PARALLEL_LEVEL") or "2"
        subprocess.check_call(["cmake", "--build", build_dir, "--target", "_quarnel3", "-j", jobs])
        built = os.path.join(build_dir, "python", "package", "quarnel3")
        target = os.path.dirname(self.get_ext_fullpath(ext.name))
        os.makedirs(target, exist_ok=True)
        for name in os.listdir(built):
            if name.endswith(".so"):
                shutil.copy2(os.path.join(built, name), os.path.join(target, name))


setup(
    packages=["quarnel3"],
    ext_modules=[Extension("quarnel3._quarnel3", sources=[])],
    cmdclass={"build_ext": BuildWithCMake},
)
