"""Coverage-guided fuzz target for every entry point of one quarnel class.

    fuzz_entries.py CLASS [libFuzzer flags and inputs...]

Each input picks an entry of CLASS from the table in
tests/python/entry_points.py and calls it with arguments drawn from the
input: valid values, valid containers holding one hostile item, or hostile
objects (wrong types, subclasses of str/dict/list/set, huge and negative
ints, NumPy scalars and arrays of every dtype, shape and layout, sequences
that raise or lie about their length). The call must return a well-formed
result or raise one of the entry's documented exception types; anything
else (another exception, a crash, a sanitizer report, a leak, a hang) is a
finding. Run by scripts/fuzz.sh against the sanitizer build.
"""
import os
import shlex
import sys

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "python"))

import atheris  # noqa: E402
import numpy as np  # noqa: E402

import entry_points as ep  # noqa: E402


class FuzzSource(ep.Source):
    def __init__(self, data: bytes):
        self.fdp = atheris.FuzzedDataProvider(data)

    def int(self, lo, hi):
        return self.fdp.ConsumeIntInRange(lo, hi)

    def bytes(self, n):
        return self.fdp.ConsumeBytes(n)


class Planted(Exception):
    """Raised by the hostile objects below; an exception raised while an
    argument is read passes through unchanged."""


class StrSub(str):
    pass


class ListSub(list):
    def __iter__(self):
        raise Planted("iter")

    def __len__(self):
        return 10**6


class TupleSub(tuple):
    pass


class DictSub(dict):
    def items(self):
        raise Planted("items")

    def __iter__(self):
        raise Planted("iter")


class SetSub(set):
    def __iter__(self):
        raise Planted("iter")


class FrozenSub(frozenset):
    pass


class IntSub(int):
    def __index__(self):
        raise Planted("index")


class RaisingSequence:
    """A sequence that fails part way, or lies about its length."""

    def __init__(self, items, fail_at, length):
        self.items, self.fail_at, self.length = items, fail_at, length

    def __len__(self):
        if self.length is None:
            raise Planted("len")
        return self.length

    def __getitem__(self, i):
        if i == self.fail_at:
            raise Planted("getitem")
        return self.items[i]


class Truthy:
    def __bool__(self):
        raise Planted("bool")


DTYPES = [np.bool_, np.int8, np.uint8, np.int16, np.uint16, np.int32, np.uint32, np.int64, np.uint64,
          np.float16, np.float32, np.float64, np.longdouble, np.complex64, np.complex128, np.clongdouble,
          np.object_, "U3", "S3", "M8[s]", "m8[s]", [("a", np.float32), ("b", np.int8)], "V4"]

SHAPES = [(), (0,), (3,), (0, 0), (0, 5), (5, 0), (2, 3), (3, 2, 2), (1, 1, 1, 1)]


def array(src):
    dtype = src.pick(DTYPES)
    shape = src.pick(SHAPES)
    try:
        a = np.zeros(shape, dtype=dtype)
        if a.size and a.dtype.kind in "fc":
            a.flat[src.int(0, a.size - 1)] = src.pick([0.5, -1.0, np.inf, np.nan, 1e-3])
    except (TypeError, ValueError):
        a = np.zeros(shape, dtype=np.float32)
    layout = src.int(0, 4)
    if layout == 1 and a.ndim >= 1:
        a = a[::-1]
    elif layout == 2 and a.ndim >= 2:
        a = a.T
    elif layout == 3 and a.ndim >= 1:
        a = np.repeat(a, 2, axis=0)[::2]
    elif layout == 4:
        a = a.view()
        a.flags.writeable = False
    return a


def scalar(src):
    kind = src.pick(DTYPES[:16])
    try:
        return np.dtype(kind).type(src.pick([0, 1, -1, 7]))
    except (TypeError, ValueError, OverflowError):
        return np.float32(1)


def hostile(src, kind):
    """Something that is not a valid value of `kind`, or valid only in form."""
    choice = src.int(0, 22)
    if choice == 0:
        return None
    if choice == 1:
        return src.pick([0, -1, 1, 2**31, -2**31 - 1, 2**63, -2**63 - 1, 2**64, 10**40, -10**40, True, False])
    if choice == 2:
        return src.pick([0.5, float("nan"), float("inf"), -0.0, 1j, b"bytes", bytearray(b"x"),
                         memoryview(b"ab"), range(3), object(), str, Ellipsis])
    if choice == 3:
        return ep.text(src)
    if choice == 4:
        return StrSub(ep.text(src))
    if choice == 5:
        return scalar(src)
    if choice == 6:
        return array(src)
    if choice == 7:
        return ep.float_matrix(src, src.pick([np.float32, np.float16, np.float64, np.int32]))
    if choice == 8:
        return ListSub([ep.text(src) for _ in range(src.int(0, 3))])
    if choice == 9:
        return TupleSub(ep.text(src) for _ in range(src.int(0, 3)))
    if choice == 10:
        return DictSub({ep.text(src): [ep.text(src)] for _ in range(src.int(0, 3))})
    if choice == 11:
        return SetSub(ep.text(src) for _ in range(src.int(0, 3)))
    if choice == 12:
        return FrozenSub(ep.text(src) for _ in range(src.int(0, 3)))
    if choice == 13:
        return IntSub(src.int(-5, 5))
    if choice == 14:
        items = [ep.text(src) for _ in range(src.int(0, 4))]
        return RaisingSequence(items, src.int(-1, 4), src.pick([None, len(items), len(items) + 3, 2**40]))
    if choice == 15:
        return Truthy()
    if choice == 16:
        return (x for x in [ep.text(src)])
    if choice == 17:
        return {src.int(-3, 3): ep.text(src) for _ in range(src.int(0, 3))}
    if choice == 18:
        return [{ep.text(src): src.pick([1, 2**31, -2**31 - 1, "x", None, 1.5, np.int64(2)])}]
    # A valid container with one bad item in it.
    value = ep.VALID[kind](src)
    bad = hostile(src, "text") if src.bool() else src.pick([None, 5, b"x", 2**70, np.str_("s"), StrSub("s")])
    if isinstance(value, list):
        value.insert(src.int(0, len(value)), bad)
        return value
    if isinstance(value, dict) and value:
        key = src.pick(list(value))
        value[key] = bad if src.bool() else [bad]
        return value
    if isinstance(value, (set, frozenset)):
        try:
            return type(value)([*value, bad])
        except TypeError:
            return value
    return bad


def call_once(cls_name, src):
    entries = ep.ENTRY_POINTS[cls_name]
    entry = entries[src.int(0, len(entries) - 1)]
    instance = None if entry.name == "__new__" else ep.instance_for(cls_name, src)
    values, clean = {}, True
    for p in entry.params:
        mode = src.int(0, 15)
        if mode < 10:
            if p.required or mode < 6:
                values[p.name] = ep.VALID[p.kind](src)
        elif mode < 15:
            values[p.name] = hostile(src, p.kind)
            clean = False
        else:
            clean = clean and not p.required  # a required one left out
    names = [p.name for p in entry.params if p.name in values]
    positional = src.int(0, len(names))
    # Only a prefix of the declared order can go by position.
    declared = [p.name for p in entry.params]
    while positional and names[:positional] != declared[:positional]:
        positional -= 1
    args = tuple(values[n] for n in names[:positional])
    kwargs = {n: values[n] for n in names[positional:]}
    extra = src.int(0, 30)
    if extra == 0:
        kwargs["unknown"] = 1
        clean = False
    elif extra == 1 and names[:1] and positional:
        kwargs[names[0]] = values[names[0]]  # given twice
        clean = False
    elif extra == 2:
        args = args + (None,) * (len(declared) + 1 - len(args))
        clean = False
    if not entry.feasible(values):
        return
    try:
        result = ep.invoke(entry, instance, args, kwargs)
    except entry.errors + (Planted,):
        return
    except BaseException as e:
        if type(e).__name__ == "PanicException" and entry.may_panic(instance):
            return
        raise
    if clean and entry.check is not None:
        entry.check(result, values)


class LeakFound(Exception):
    pass


def checking_leaks(one_input, every=1000):
    """Runs LeakSanitizer every `every` inputs, with the interpreter whole
    (as tests/python/conftest.py does at the end of a session): what it
    finds is memory nothing points to any more, a native block or a lost
    object."""
    import ctypes
    import gc

    check = ctypes.CDLL(None).__lsan_do_recoverable_leak_check
    count = [0]

    def run(data):
        one_input(data)
        count[0] += 1
        if count[0] % every == 0:
            gc.collect()
            if check():
                raise LeakFound(f"LeakSanitizer found leaks (report above) after {count[0]} inputs")

    return run


def main():
    cls_name = sys.argv[1]
    # libFuzzer runs argv[0] through the shell for its child processes
    # (-merge=1, -fork): this interpreter on this script for this class.
    argv = [shlex.join([sys.executable, os.path.abspath(__file__), cls_name])] + sys.argv[2:]
    # Inputs to replay, or a time or run limit given: no default run count.
    if not any(a.startswith(("-runs=", "-max_total_time=")) or os.path.isfile(a) for a in argv[1:]):
        argv.append(f"-runs={ep.FUZZ_RUNS[cls_name]}")
    atheris.Setup(argv, checking_leaks(lambda data: call_once(cls_name, FuzzSource(data))))
    atheris.Fuzz()


if __name__ == "__main__":
    main()
