"""A source build without the system libraries stops with one message that
says what to install."""

import os
import shutil
import subprocess
import sys
from pathlib import Path

import pytest

ROOT = Path(__file__).resolve().parents[2]


def tool(name):
    return shutil.which(name, path=os.path.dirname(sys.executable)) or shutil.which(name)


@pytest.mark.skipif(not (tool("cmake") and tool("ninja")), reason="needs cmake and ninja (the development environment has them)")
@pytest.mark.parametrize("missing", ["libraries", "pkg-config"])
def test_configure_without_system_libraries_says_what_to_install(tmp_path, missing):
    empty = tmp_path / "pkgconfig"
    empty.mkdir()
    env = dict(os.environ, PKG_CONFIG_LIBDIR=str(empty), PKG_CONFIG_PATH="")
    command = [tool("cmake"), "-S", str(ROOT), "-B", str(tmp_path / "build"), "-G", "Ninja",
               f"-DCMAKE_MAKE_PROGRAM={tool('ninja')}", "-DQUARNEL_PYTHON_MODULE=OFF"]
    if missing == "pkg-config":
        command.append(f"-DPKG_CONFIG_EXECUTABLE={tmp_path / 'no-pkg-config'}")
    out = subprocess.run(command, env=env, capture_output=True, text=True)
    assert out.returncode != 0
    errors = out.stderr + out.stdout
    assert errors.count("CMake Error") == 1, errors
    text = " ".join(errors.split())
    named = "pkg-config" if missing == "pkg-config" else "Oniguruma (pkg-config module 'oniguruma'), ICU"
    assert f"Not found: {named}" in text
    for hint in ("apt-get install g++ pkg-config libonig-dev libicu-dev",
                 "dnf install gcc-c++ pkgconf-pkg-config oniguruma-devel libicu-devel",
                 "brew install pkgconf oniguruma icu4c",
                 "pip install --only-binary quarnel quarnel"):
        assert hint in text
