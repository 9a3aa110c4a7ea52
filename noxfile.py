"""The test sessions: `nox -l` lists them, `nox -s tests-3.13` runs one.

scripts/test.sh runs them all in order, quick ones first, and tabulates
them. Each session counts the tests it ran (pytest's summary lines,
CTest's total, the fuzz targets' runs) and fails when it ran none; a
session that cannot run here says why and is skipped (its script exits
with 77). Nox makes no environments of its own: the sessions use .venv
(scripts/setup.sh makes it) and the scripts that make the rest, where
bash is the tool (Debian packages, chroots, qemu, a free-threaded CPython).
Each session leaves its outcome in build/stages/<session>.
"""

from __future__ import annotations

import functools
import os
import re
import subprocess
import sys
from pathlib import Path

import nox

ROOT = Path(__file__).resolve().parent
VENV_PYTHON = ROOT / ".venv" / "bin" / "python"
SKIPPED = 77  # a script's exit status for "cannot run here" (it says why)

nox.options.default_venv_backend = "none"

# .venv's tools (CMake 3.25 or later for the presets, Ninja) come first;
# CTest runs as many tests at once as there are processors unless told.
os.environ["PATH"] = f"{VENV_PYTHON.parent}{os.pathsep}{os.environ.get('PATH', '')}"
os.environ.setdefault("CTEST_PARALLEL_LEVEL", str(os.cpu_count() or 1))


def _lib_list(name: str) -> list[str]:
    """A version list of scripts/lib.sh, which the wheel scripts share."""
    text = (ROOT / "scripts" / "lib.sh").read_text()
    match = re.search(rf"^{name}=\(([^)]*)\)", text, re.MULTILINE)
    assert match, f"scripts/lib.sh has no {name}"
    return match.group(1).split()


PYTHON_VERSIONS = _lib_list("python_versions")
FREE_THREADED_VERSIONS = _lib_list("ft_python_versions")
PYTEST_PARALLEL = _lib_list("pytest_parallel")

_PYTEST_SUMMARY = re.compile(r"^=*\s*((?:\d+ [a-z]+(?:, )?)+) in [\d.]+s")
_PYTEST_RAN = re.compile(r"(\d+) (passed|failed|xfailed|xpassed|errors?)\b")
_CTEST_TOTAL = re.compile(r"tests passed.* out of (\d+)")
_FUZZ_RUN = re.compile(r"^fuzz: \S+: #\d+\s+DONE")


def count_tests(lines: list[str]) -> int:
    """How many tests the output reports as run (skipped ones do not count)."""
    total = 0
    for line in lines:
        if summary := _PYTEST_SUMMARY.match(line):
            total += sum(int(n) for n, _ in _PYTEST_RAN.findall(summary.group(1)))
        elif ctest := _CTEST_TOTAL.search(line):
            total += int(ctest.group(1))
        elif _FUZZ_RUN.match(line):
            total += 1
    return total


def _record(session: nox.Session, outcome: str) -> None:
    stages = ROOT / "build" / "stages"
    stages.mkdir(parents=True, exist_ok=True)
    (stages / session.name).write_text(outcome + "\n")


def run_counted(session: nox.Session, *commands: list[str], env: dict[str, str] | None = None) -> None:
    """Runs the commands in turn, their output shown as it comes, then
    counts the tests they ran: none fails the session, a command exiting
    with 77 skips it."""
    (ROOT / "build" / "stages" / session.name).unlink(missing_ok=True)
    lines: list[str] = []
    for command in commands:
        session.log(" ".join(command))
        process = subprocess.Popen(command, cwd=ROOT, env={**os.environ, **(env or {})},
                                   stdout=subprocess.PIPE, stderr=subprocess.STDOUT, text=True,
                                   errors="replace", bufsize=1)
        assert process.stdout is not None
        for line in process.stdout:
            sys.stdout.write(line)
            sys.stdout.flush()
            lines.append(line.rstrip("\n"))
        status = process.wait()
        if status == SKIPPED:
            reason = next((l for l in reversed(lines) if l.startswith("skipped")), "skipped")
            _record(session, reason)
            session.skip(reason)
        if status != 0:
            _record(session, "failed")
            session.error(f"{command[0]} {' '.join(command[1:3])}... exited with {status}")
    ran = count_tests(lines)
    if ran == 0:
        _record(session, "failed: no test ran")
        session.error("no test ran")
    _record(session, f"{ran} tests")
    session.log(f"{ran} tests ran")


@functools.cache
def venv_version() -> str:
    """X.Y of .venv's CPython ("" before scripts/setup.sh made it)."""
    if not VENV_PYTHON.exists():
        return ""
    return subprocess.run([VENV_PYTHON, "-c", "import sys; print('%d.%d' % sys.version_info[:2])"],
                          check=True, capture_output=True, text=True).stdout.strip()


@nox.session(python=False)
def native(session: nox.Session) -> None:
    """The native unit tests and benchmark programs: the release preset."""
    run_counted(session, ["cmake", "--workflow", "--preset", "release"])


def _python_session(version: str) -> None:
    @nox.session(name=f"tests-{version}", python=False)
    def tests(session: nox.Session) -> None:
        if version == venv_version():
            # (the bench tests use the release preset's programs, as
            # scripts/test_python.sh has them do)
            bench = {"QUARNEL_BENCH_BUILD": str(ROOT / "build" / "release")}
            run_counted(session, [str(VENV_PYTHON), "-c", "import sys; print('python:', sys.version.split()[0], sys.executable)"],
                        [str(VENV_PYTHON), "-m", "pytest", "-q", *PYTEST_PARALLEL, *session.posargs], env=bench)
        elif version.endswith("t"):
            # Made once into $QUARNEL_CACHE; the GIL kept off (PyICU, which
            # the tests compare with, would switch it back on when imported;
            # test_free_threading.py checks in a clean child that quarnel
            # keeps it off). pip prefers wheels: the newest releases may ship
            # none for an older free-threaded CPython, and mypy then comes
            # without ast-serialize, which builds only with a Rust toolchain.
            run_counted(session, ["bash", "scripts/free_threaded_python.sh", version],
                        ["bash", "scripts/test_python.sh", version, *PYTEST_PARALLEL, *session.posargs],
                        env={"PIP_PREFER_BINARY": "1", "PIP_ONLY_BINARY": "ast-serialize", "PYTHON_GIL": "0"})
        else:
            run_counted(session, ["bash", "scripts/test_python.sh", version, *PYTEST_PARALLEL, *session.posargs])

    where = ".venv" if version == venv_version() else "its own environment (scripts/test_python.sh)"
    kind = "free-threaded CPython " + version[:-1] if version.endswith("t") else "CPython " + version
    tests.__doc__ = f"The whole Python suite on {kind}, in {where}."


for _version in PYTHON_VERSIONS + FREE_THREADED_VERSIONS:
    _python_session(_version)

# `nox` alone: the quick sessions.
if venv_version():
    nox.options.sessions = ["native", f"tests-{venv_version()}", "numpy1"]


@nox.session(python=False)
def numpy1(session: nox.Session) -> None:
    """The Converter tests again with NumPy 1.x, on .venv's module."""
    # The module is built against NumPy 2's headers and must run with 1.x
    # too. NumPy 1.x has no release for CPython 3.13 and later, so no user
    # of those meets the pairing: there the session is skipped, saying so.
    env = ROOT / ".venv-numpy1"
    python = env / "bin" / "python"
    probe = "import numpy, pytest; assert numpy.__version__ < '2'"
    if not python.exists() or subprocess.run([python, "-c", probe], capture_output=True).returncode:
        version = venv_version()
        if tuple(map(int, version.split("."))) >= (3, 13):
            reason = (f"skipped: NumPy 1.x has no release for CPython {version} (.venv's); the Converter's "
                      "NumPy 1.x check runs where .venv is 3.11 or 3.12")
            _record(session, reason)
            session.skip(reason)
        session.log("creating .venv-numpy1")
        session.run(str(VENV_PYTHON), "-m", "venv", "--clear", str(env))
        session.run(str(python), "-m", "pip", "install", "-q", "--disable-pip-version-check",
                    "--only-binary", "numpy", "numpy<2", "pytest")
    module_dir = ROOT / "build" / "numpy1"
    module_dir.mkdir(parents=True, exist_ok=True)
    installed = subprocess.run([VENV_PYTHON, "-c", "import pathlib, quarnel; print(pathlib.Path(quarnel.__file__).parent)"],
                               check=True, capture_output=True, text=True).stdout.strip()
    link = module_dir / "quarnel"
    link.unlink(missing_ok=True)
    link.symlink_to(installed)
    run_counted(session, [str(python), "-m", "pytest", "-q", "-p", "no:cacheprovider", "tests/python/test_converter.py",
                          *session.posargs], env={"PYTHONPATH": str(module_dir)})


def _script_session(name: str, script: str, doc: str, args_after: tuple[str, ...] = ()) -> None:
    """A session that is one script; its arguments go to the script, after
    args_after when there are any."""

    @nox.session(name=name, python=False)
    def run(session: nox.Session) -> None:
        args = [*args_after, *session.posargs] if session.posargs else []
        run_counted(session, ["bash", f"scripts/{script}", *args])

    run.__doc__ = doc


_script_session("clang-libcxx", "clang_libcxx.sh",
                "clang and libc++, portable kernels: native tests and the Converter's Python tests.")
_script_session("aarch64", "cross_aarch64.sh", "The arm64 cross build: native tests and the Python suite under qemu.")
_script_session("wheel", "wheel_check.sh", "The wheel of .venv's CPython, built from the sdist, tested installed.",
                args_after=("--",))  # (its own arguments are wheels; pytest's come after --)
_script_session("sanitize", "sanitize.sh", "AddressSanitizer + UBSan: native tests and the Python suite.")
_script_session("tsan", "tsan.sh", "ThreadSanitizer: the threaded native and Python tests.")
_script_session("tsan-ft", "tsan_free_threaded.sh",
                "ThreadSanitizer on the free-threaded CPython: the Python threading tests.")
_script_session("fuzz", "fuzz.sh", "A short fixed-seed fuzz run of every entry point (arguments: libFuzzer flags).")
