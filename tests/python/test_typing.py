"""The installed type stub agrees with the module (our comparison and mypy's
stubtest), the test tables cover every entry and parameter of the module,
and mypy accepts a typed program that uses every method but no subclass."""

import ast
import importlib.util
import inspect
import os
import subprocess
import sys
from pathlib import Path

import pytest

import quarnel

ROOT = Path(__file__).resolve().parents[2]
PACKAGE_DIR = Path(quarnel.__file__).parent
STUB = PACKAGE_DIR / "__init__.pyi"


def stub_classes():
    tree = ast.parse(STUB.read_text())
    return {node.name: node for node in tree.body if isinstance(node, ast.ClassDef)}


def stub_all():
    tree = ast.parse(STUB.read_text())
    for node in tree.body:
        if isinstance(node, ast.Assign) and node.targets[0].id == "__all__":
            return ast.literal_eval(node.value)
    raise AssertionError("the stub has no __all__")


def stub_parameters(func):
    """(name, default source or None) of each parameter after self or cls."""
    args = func.args
    assert not (args.vararg or args.kwarg or args.kwonlyargs or args.posonlyargs)
    names = [a.arg for a in args.args][1:]
    defaults = [None] * (len(args.args) - len(args.defaults)) + list(args.defaults)
    defaults = defaults[1:]
    return [(n, None if d is None else ast.literal_eval(d)) for n, d in zip(names, defaults)]


def module_parameters(obj):
    params = list(inspect.signature(obj).parameters.values())
    if params and params[0].name == "self":
        assert params[0].kind is inspect.Parameter.POSITIONAL_ONLY
        params = params[1:]
    for p in params:
        assert p.kind is inspect.Parameter.POSITIONAL_OR_KEYWORD, p
    return [(p.name, None if p.default is inspect.Parameter.empty else p.default) for p in params]


def public_methods(cls):
    return {name for name, value in vars(cls).items()
            if callable(value) and (not name.startswith("_") or name == "__call__")}


def test_the_stub_and_marker_are_installed_beside_the_module():
    assert STUB.is_file()
    assert (PACKAGE_DIR / "py.typed").is_file()
    assert sorted(stub_all()) == sorted(quarnel.__all__) == sorted(stub_classes())


def test_every_class_and_method_matches_the_module():
    for name, node in stub_classes().items():
        cls = getattr(quarnel, name)
        assert [ast.unparse(d) for d in node.decorator_list] == ["final"], name
        funcs = {f.name: f for f in node.body if isinstance(f, ast.FunctionDef)}
        assert set(funcs) - {"__new__"} == public_methods(cls), name
        assert stub_parameters(funcs["__new__"]) == module_parameters(cls), name
        for method, func in funcs.items():
            if method == "__new__":
                continue
            # Calling an object has no text signature of its own; it takes
            # what batch_tokenize takes.
            target = getattr(cls, "batch_tokenize" if method == "__call__" else method)
            assert stub_parameters(func) == module_parameters(target), (name, method)


def test_the_test_tables_cover_every_entry_and_parameter():
    """The hardening tables are read off the module; what the module cannot
    tell (kinds of values, exception types) must be there for every entry and
    parameter, and nothing else."""
    import entry_points as ep

    entries = ep.derive_entry_points()  # a KeyError names what is missing
    assert list(entries) == quarnel.__all__
    used = {p.name for es in entries.values() for e in es for p in e.params}
    assert used == set(ep.KINDS)
    for cls_name, es in entries.items():
        assert {e.name for e in es} == set(ep.BEHAVIOUR[cls_name]), cls_name
        assert {p.kind for e in es for p in e.params} <= set(ep.VALID)
    assert set(ep.BEHAVIOUR) == set(ep.STRESS) == set(ep.LEAK) == set(ep.HUGE) == set(ep.INTERRUPT) \
        == set(quarnel.__all__)


def mypy_env():
    env = dict(os.environ)
    site = {Path(p).resolve() for p in sys.path if p.endswith("site-packages")}
    if PACKAGE_DIR.parent.resolve() not in site:
        # A build tree on PYTHONPATH: mypy reads the stub from there.
        env["MYPYPATH"] = str(PACKAGE_DIR.parent)
    return env


needs_mypy = pytest.mark.skipif(importlib.util.find_spec("mypy") is None, reason="mypy is not installed")

SUBCLASSES = """\
from quarnel import Converter, ICUWordPreTokenizer, QAAnnotator, RegexTokenizer


class A(Converter): ...


class B(RegexTokenizer): ...


class C(QAAnnotator): ...


class D(ICUWordPreTokenizer): ...
"""


@needs_mypy
def test_mypy_strict_accepts_the_typed_example_and_refuses_subclasses(tmp_path):
    # The classes cannot be subclassed at run time: mypy must say so too.
    subclasses = tmp_path / "subclasses.py"
    subclasses.write_text(SUBCLASSES)
    result = subprocess.run(
        [sys.executable, "-m", "mypy", "--strict", "--no-incremental", "--cache-dir", str(tmp_path / "cache"),
         str(ROOT / "examples" / "typed_usage.py"), subclasses.name],
        capture_output=True, text=True, env=mypy_env(), cwd=tmp_path,
    )
    errors = [line for line in result.stdout.splitlines() if ": error: " in line]
    assert [e.split(": error: ")[1] for e in errors] == [
        f'Cannot inherit from final class "{name}"  [misc]'
        for name in ("Converter", "RegexTokenizer", "QAAnnotator", "ICUWordPreTokenizer")
    ], result.stdout + result.stderr
    assert all(e.startswith(subclasses.name + ":") for e in errors), result.stdout


@needs_mypy
def test_stubtest_finds_no_difference(tmp_path):
    result = subprocess.run(
        [sys.executable, "-m", "mypy.stubtest", "quarnel"],
        capture_output=True, text=True, env=mypy_env(), cwd=tmp_path,
    )
    assert result.returncode == 0, result.stdout + result.stderr
