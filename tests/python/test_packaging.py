"""Release metadata agrees with itself, and a source build without the
system libraries stops with one message that says what to install."""

import importlib.metadata
import os
import re
import shutil
import subprocess
import sys
import tomllib
from pathlib import Path

import pytest

ROOT = Path(__file__).resolve().parents[2]
PROJECT = tomllib.loads((ROOT / "pyproject.toml").read_text())["project"]


def test_one_version_everywhere():
    released = re.findall(r"^## \[(\d+\.\d+\.\d+)\]", (ROOT / "CHANGELOG.md").read_text(), re.M)
    assert released and released[0] == PROJECT["version"], "the newest CHANGELOG release is the package version"
    try:
        installed = importlib.metadata.version("quarnel")
    except importlib.metadata.PackageNotFoundError:
        return  # a build tree on PYTHONPATH
    assert installed == PROJECT["version"]


def test_python_versions_follow_the_wheel_builds():
    supported = re.search(r"^python_versions=\(([^)]*)\)", (ROOT / "scripts" / "lib.sh").read_text(), re.M)
    versions = supported.group(1).split()
    classified = [c.rsplit(" :: ", 1)[1] for c in PROJECT["classifiers"]
                  if re.fullmatch(r"Programming Language :: Python :: 3\.\d+", c)]
    assert classified == versions
    # No upper bound: it would turn newer interpreters away before anything
    # is built and make resolvers there backtrack to old releases.
    assert PROJECT["requires-python"] == f">={versions[0]}"
    assert f"{sys.version_info[0]}.{sys.version_info[1]}" in versions


def tool(name):
    # The environment's own (requirements-dev.txt), not whatever is on PATH.
    return shutil.which(name, path=os.path.dirname(sys.executable))


@pytest.mark.skipif(not (tool("cmake") and tool("ninja")),
                    reason="needs cmake and ninja in the environment (the development environments have them)")
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


def dynamic_flags(path):
    """DT_FLAGS of a 64-bit little-endian ELF shared object (0 without it)."""
    import struct

    data = Path(path).read_bytes()
    assert data[:6] == b"\x7fELF\x02\x01", "not a 64-bit little-endian ELF file"
    phoff, = struct.unpack_from("<Q", data, 0x20)
    phentsize, phnum = struct.unpack_from("<HH", data, 0x36)
    for i in range(phnum):
        p_type, _, p_offset, _, _, p_filesz = struct.unpack_from("<IIQQQQ", data, phoff + i * phentsize)
        if p_type == 2:  # PT_DYNAMIC
            for at in range(p_offset, p_offset + p_filesz, 16):
                tag, value = struct.unpack_from("<qQ", data, at)
                if tag == 30:  # DT_FLAGS
                    return value
                if tag == 0:
                    break
    return 0


@pytest.mark.skipif(sys.platform != "linux" or sys.byteorder != "little" or sys.maxsize < 2**32,
                    reason="reads a 64-bit little-endian ELF module")
def test_the_module_asks_for_no_static_thread_local_storage():
    # A module marked STATIC_TLS fails to load ("cannot allocate memory in
    # static TLS block") once other extensions (pyarrow's, say) have used up
    # the loader's spare static TLS: a static library built without -fPIC
    # linked in does that. (Sanitizer builds are marked so by their
    # instrumentation, whose runtime is preloaded and holds that TLS.)
    import quarnel

    from conftest import UNDER_ASAN, UNDER_TSAN

    if UNDER_ASAN or UNDER_TSAN:
        pytest.skip("sanitizer instrumentation uses static TLS by design")

    assert not dynamic_flags(quarnel.__file__) & 0x10, "the module is marked DF_STATIC_TLS"
