"""Builds the sdist, checks what it holds and unpacks it for the wheel builds.

    python scripts/sdist.py OUT_DIR UNPACK_DIR

Run with an interpreter that has scikit-build-core (the project's .venv).
The sdist must hold the files git would commit (tracked or not ignored,
less pyproject's sdist.exclude) and PKG-INFO, and never build output,
virtual environments, caches or binaries. It is unpacked into UNPACK_DIR
rewriting only the files whose content changed and keeping its build/, so
that a wheel build from there stays incremental.
"""

from __future__ import annotations

import fnmatch
import io
import shutil
import subprocess
import sys
import tarfile
import tomllib
from collections import Counter
from pathlib import Path, PurePosixPath

ROOT = Path(__file__).resolve().parents[1]
NEVER_DIRS = {"build", "dist", "wheelhouse", "__pycache__", ".pytest_cache", ".mypy_cache", ".git"}
NEVER_SUFFIXES = {".so", ".o", ".a", ".whl", ".pyc", ".tar.gz"}


def forbidden(path: PurePosixPath) -> bool:
    parts = path.parts[:-1]
    return (any(p in NEVER_DIRS or p.startswith(".venv") or p.endswith(".egg-info") for p in parts)
            or any(path.name.endswith(s) for s in NEVER_SUFFIXES))


def expected_files() -> set[str] | None:
    """What git would commit now, less sdist.exclude; None outside a checkout."""
    try:
        out = subprocess.run(["git", "ls-files", "-z", "--cached", "--others", "--exclude-standard"],
                             cwd=ROOT, capture_output=True, check=True).stdout
    except (OSError, subprocess.CalledProcessError):
        return None
    excludes = tomllib.loads((ROOT / "pyproject.toml").read_text())["tool"]["scikit-build"]["sdist"]["exclude"]
    files = set()
    for name in out.decode().split("\0"):
        if not name or not (ROOT / name).is_file():
            continue  # deleted in the work tree
        if any(name.startswith(e) if e.endswith("/") else fnmatch.fnmatch(name, e) for e in excludes):
            continue
        files.add(name)
    return files


def sync(tar: tarfile.TarFile, top: str, dest: Path) -> int:
    """Unpacks into dest, touching only new or changed files; returns how many.

    dest/build/ stays: like a checkout's, it holds the build directories
    (scikit-build-core's build/{wheel_tag}), whose relative paths to the
    sources then match the checkout's, so ccache serves both."""
    dest.mkdir(parents=True, exist_ok=True)
    wanted, changed = set(), 0
    for member in tar.getmembers():
        if not member.isfile():
            continue
        rel = PurePosixPath(member.name).relative_to(top)
        wanted.add(rel)
        data = tar.extractfile(member).read()
        target = dest / rel
        if target.is_file() and target.read_bytes() == data:
            continue
        target.parent.mkdir(parents=True, exist_ok=True)
        target.write_bytes(data)
        target.chmod(member.mode & 0o755 | 0o644)
        changed += 1
    for path in sorted(dest.rglob("*"), reverse=True):
        rel = PurePosixPath(path.relative_to(dest).as_posix())
        if rel.parts[0] == "build":
            continue
        if path.is_file() and rel not in wanted:
            path.unlink()
            changed += 1
        elif path.is_dir() and not any(path.iterdir()):
            path.rmdir()
    return changed


def main() -> int:
    out_dir, unpack_dir = Path(sys.argv[1]).resolve(), Path(sys.argv[2]).resolve()
    out_dir.mkdir(parents=True, exist_ok=True)
    from scikit_build_core.build import build_sdist

    name = build_sdist(str(out_dir))
    sdist = out_dir / name
    top = name.removesuffix(".tar.gz")
    with tarfile.open(sdist) as tar:
        files = {PurePosixPath(m.name).relative_to(top).as_posix() for m in tar.getmembers() if m.isfile()}
        problems = [f"must not be in the sdist: {f}" for f in sorted(files) if forbidden(PurePosixPath(f))]
        expected = expected_files()
        if expected is not None:
            problems += [f"missing from the sdist: {f}" for f in sorted(expected - files)]
            problems += [f"in the sdist but not in git: {f}" for f in sorted(files - expected - {"PKG-INFO"})]
        if "PKG-INFO" not in files:
            problems.append("the sdist has no PKG-INFO")
        if problems:
            print("\n".join(f"sdist: {p}" for p in problems), file=sys.stderr)
            return 1
        changed = sync(tar, top, unpack_dir)
    groups = Counter(f.split("/")[0] + ("/" if "/" in f else "") for f in files)
    summary = ", ".join(f"{g} ({n})" if g.endswith("/") else g for g, n in sorted(groups.items()))
    print(f"sdist: {sdist.relative_to(ROOT) if sdist.is_relative_to(ROOT) else sdist}, "
          f"{len(files)} files, {sdist.stat().st_size // 1024} KiB: {summary}")
    print(f"sdist: unpacked into {unpack_dir} ({changed} files written or removed)")
    return 0


if __name__ == "__main__":
    sys.exit(main())
