"""Coverage-guided fuzz target for the columnar input path (quarnel.columnar).

    fuzz_columnar.py [libFuzzer flags and inputs...]

Each input becomes Arrow arrays built by hand, as any producer may hand
them over through the C data interface: utf8, large_utf8 or utf8_view
(views inline or in several data buffers), with nulls, a slice offset,
bytes that are not UTF-8, offsets that fall, views past their buffers,
chunks in a stream that may fail part way, a column of another type, or
lists of strings for the QAAnnotator functions. Each call must give the
list API's tokens for the texts that decode, or raise one of the
documented exceptions; and every structure handed over must be released
exactly once, whatever happened. Anything else (another exception, a
wrong token, a release missed or repeated, a crash, a sanitizer report, a
leak) is a finding. Run by scripts/fuzz.sh against the sanitizer build.
"""
import ctypes
import os
import shlex
import struct
import sys

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "python"))

import arrow_c  # noqa: E402
import atheris  # noqa: E402

import quarnel  # noqa: E402
from quarnel import columnar  # noqa: E402

RUNS = 4000
TOK = quarnel.RegexTokenizer()
ICU = quarnel.ICUWordPreTokenizer(frozenset({"the"}))
WORDS = [b"the", b"Word", b" ", b", ", b"don't", b"3.14", b"caf\xc3\xa9", b"e\xcc\x81", b"\xce\xa3", b"\t",
         b"\xe4\xb8\xad\xe6\x96\x87", b"\xf0\x9f\x98\x80", b"a longer word than twelve", b"\xff", b"\xc3", b"\xed\xa0\x80"]


Schema, Array, Stream = arrow_c.ArrowSchema, arrow_c.ArrowArray, arrow_c.ArrowArrayStream
SCHEMA_RELEASE, ARRAY_RELEASE, STREAM_RELEASE = arrow_c.SCHEMA_RELEASE, arrow_c.ARRAY_RELEASE, arrow_c.STREAM_RELEASE
GET_SCHEMA, GET_NEXT, GET_ERROR = arrow_c.GET_SCHEMA, arrow_c.GET_NEXT, arrow_c.GET_LAST_ERROR

_new_capsule = arrow_c._new_capsule


class Producer:
    """Builds structures from Python-held memory and counts each release."""

    def __init__(self):
        self.keep = []
        self.handed = 0
        self.released = 0
        self.broken = False  # some offsets or views were changed: the texts are not the ones drawn

    def _count(self, s):
        self.released += 1
        # The release callback set to null, as the interface requires.
        ctypes.memset(ctypes.addressof(s.contents) + type(s.contents).release.offset, 0, 8)

    def schema(self, fmt, children=()):
        s = Schema(format=fmt, name=b"", flags=2, n_children=len(children))
        if children:
            kids = (ctypes.POINTER(Schema) * len(children))(*[ctypes.pointer(c) for c in children])
            s.children = ctypes.cast(kids, ctypes.POINTER(ctypes.POINTER(Schema)))
            self.keep.append(kids)
        s.release = SCHEMA_RELEASE(self._count)
        self.keep += [s, s.release]
        return s

    def array(self, length, offset, null_count, buffers, children=()):
        bufs = (ctypes.c_void_p * len(buffers))(*[None if b is None else ctypes.addressof(b) for b in buffers])
        a = Array(length=length, null_count=null_count, offset=offset, n_buffers=len(buffers),
                  n_children=len(children), buffers=ctypes.cast(bufs, ctypes.POINTER(ctypes.c_void_p)))
        if children:
            kids = (ctypes.POINTER(Array) * len(children))(*[ctypes.pointer(c) for c in children])
            a.children = ctypes.cast(kids, ctypes.POINTER(ctypes.POINTER(Array)))
            self.keep.append(kids)
        a.release = ARRAY_RELEASE(self._count)
        self.keep += [a, a.release, bufs, *[b for b in buffers if b is not None]]
        return a


class Column:
    def __init__(self, producer, schema, array):
        self.producer, self.pair = producer, (schema, array)

    def __arrow_c_array__(self, requested_schema=None):
        s, a = self.pair
        self.producer.handed += 2  # from here on, the consumer releases both
        return (_new_capsule(ctypes.addressof(s), b"arrow_schema", None),
                _new_capsule(ctypes.addressof(a), b"arrow_array", None))


class Chunks:
    """A stream of (schema, arrays), failing with errno 5 at `fail_at`."""

    def __init__(self, producer, fmt, arrays, fail_at):
        self.producer, self.fmt, self.arrays, self.fail_at, self.next = producer, fmt, arrays, fail_at, 0

    def __arrow_c_stream__(self, requested_schema=None):
        p = self.producer

        def get_schema(_, out):
            ctypes.memmove(out, ctypes.addressof(p.schema(self.fmt)), ctypes.sizeof(Schema))
            p.handed += 1
            return 0

        def get_next(_, out):
            if self.next == self.fail_at:
                return 5
            if self.next == len(self.arrays):
                out.contents.release = ARRAY_RELEASE()
                return 0
            ctypes.memmove(out, ctypes.addressof(self.arrays[self.next]), ctypes.sizeof(Array))
            self.next += 1
            p.handed += 1
            return 0

        def release(s):
            # The arrays never handed out stay the stream's own (freed with it).
            p._count(s)

        message = ctypes.create_string_buffer(b"fuzzed failure")
        stream = Stream(GET_SCHEMA(get_schema), GET_NEXT(get_next),
                        GET_ERROR(lambda _: ctypes.addressof(message)))
        stream.release = STREAM_RELEASE(release)
        p.keep += [message, release]
        p.handed += 1
        p.keep += [stream, get_schema, get_next, stream.get_schema, stream.get_next, stream.get_last_error,
                   stream.release]
        return _new_capsule(ctypes.addressof(stream), b"arrow_array_stream", None)


def buffer(data: bytes):
    return ctypes.create_string_buffer(data + b"\0" * 16, len(data) + 16)


def texts_of(fdp, n):
    out = []
    for _ in range(n):
        if fdp.ConsumeIntInRange(0, 5) == 0:
            out.append(None)
        else:
            out.append(b"".join(WORDS[fdp.ConsumeIntInRange(0, len(WORDS) - 1)]
                                for _ in range(fdp.ConsumeIntInRange(0, 6))))
    return out


def string_array(fdp, p, layout, texts):
    """An array of `texts` (None: null) behind `pad` rows, in `layout`; with
    small chance the offsets or views are broken."""
    pad = fdp.ConsumeIntInRange(0, 3)
    rows = [b"x"] * pad + [t or b"" for t in texts]
    valid = [True] * pad + [t is not None for t in texts]
    bits = bytearray((len(rows) + 7) // 8)
    for i, v in enumerate(valid):
        bits[i // 8] |= v << (i % 8)
    nulls = valid.count(False)
    validity = buffer(bytes(bits)) if nulls else None
    broken = fdp.ConsumeIntInRange(0, 15) == 0
    p.broken |= broken
    if layout in (b"u", b"U"):
        offsets, data = [0], b""
        for r in rows:
            data += r
            offsets.append(len(data))
        if broken and len(offsets) > 2:
            i = fdp.ConsumeIntInRange(1, len(offsets) - 2)
            offsets[i] = fdp.ConsumeIntInRange(0, len(data))  # within the data, maybe falling
        fmt = "<%di" if layout == b"u" else "<%dq"
        bufs = [validity, buffer(struct.pack(fmt % len(offsets), *offsets)), buffer(data)]
    else:
        views, parts = b"", [b"", b""]
        for i, r in enumerate(rows):
            if len(r) <= 12:
                views += struct.pack("<i12s", len(r), r)
            else:
                k = i % 2
                views += struct.pack("<i4sii", len(r), r[:4], k, len(parts[k]))
                parts[k] += r
        sizes = [len(parts[0]), len(parts[1])]
        if broken:
            sizes[fdp.ConsumeIntInRange(0, 1)] = fdp.ConsumeIntInRange(0, 8)
        bufs = [validity, buffer(views), buffer(parts[0]), buffer(parts[1]), buffer(struct.pack("<2q", *sizes))]
    return p.array(len(texts), pad, nulls if fdp.ConsumeBool() else -1, bufs)


def expected(texts, call):
    try:
        decoded = [None if t is None else t.decode("utf-8") for t in texts]
    except UnicodeDecodeError:
        return None
    return [None if t is None else call(t) for t in decoded]


def one_input(data):
    fdp = atheris.FuzzedDataProvider(data)
    p = Producer()
    layout = [b"u", b"U", b"vu"][fdp.ConsumeIntInRange(0, 2)]
    chunks = [texts_of(fdp, fdp.ConsumeIntInRange(0, 6)) for _ in range(fdp.ConsumeIntInRange(1, 3))]
    arrays = [string_array(fdp, p, layout, t) for t in chunks]
    mode = fdp.ConsumeIntInRange(0, 4)
    fmt = layout if mode != 4 else [b"z", b"i", b"+l", b"vz"][fdp.ConsumeIntInRange(0, 3)]
    fail_at = None
    if mode in (1, 2) or len(arrays) > 1:
        fail_at = fdp.ConsumeIntInRange(0, len(arrays) + 3)
        column = Chunks(p, fmt, arrays, fail_at)
    else:
        column = Column(p, p.schema(fmt), arrays[0])
    texts = [t for c in chunks for t in c]
    views = fdp.ConsumeBool()
    which = fdp.ConsumeIntInRange(0, 2)
    got = want = None
    try:
        if which == 0:
            want = expected(texts, TOK.tokenize)
            got = columnar.tokenize(TOK, column, string_view=views)
        elif which == 1:
            want = expected(texts, lambda t: ICU.tokenize(t, remove_stopwords=True))
            got = columnar.pre_tokenize(ICU, column, remove_stopwords=True, string_view=views)
        else:
            tokens = columnar.tokenize(TOK, Column(p, p.schema(layout), string_array(fdp, p, layout, chunks[0])),
                                       string_view=views)
            columnar.annotator(column, tokens)
    except (UnicodeDecodeError, TypeError, ValueError, OSError, KeyError):
        got = None
    if got is not None:
        rows = read_lists(got)
        if want is not None and not p.broken and rows != want:
            raise Mismatch(f"{rows!r} != {want!r} for {texts!r} ({layout}, call {which}, string_view {views})")
    del column, got
    if p.released != p.handed:
        raise RuntimeError(f"{p.handed} structures handed over, {p.released} released")


class Mismatch(Exception):
    pass


_get_pointer = arrow_c.pointer


def _strings(fmt, array, n):
    """The n strings of a utf8, large_utf8 or utf8_view array, as bytes."""
    bufs = ctypes.cast(array.buffers, ctypes.POINTER(ctypes.c_void_p))
    if fmt == b"vu":
        out = []
        for i in range(n):
            view = ctypes.string_at(bufs[1] + 16 * i, 16)
            length = struct.unpack_from("<i", view)[0]
            if length <= 12:
                out.append(view[4:4 + length])
            else:
                k, at = struct.unpack_from("<ii", view, 8)
                out.append(ctypes.string_at(bufs[2 + k] + at, length))
        return out
    width, code = (4, "<%di") if fmt == b"u" else (8, "<%dq")
    offsets = struct.unpack(code % (n + 1), ctypes.string_at(bufs[1], width * (n + 1)))
    return [ctypes.string_at(bufs[2] + offsets[i], offsets[i + 1] - offsets[i]) for i in range(n)]


def _lists(schema, array):
    child_schema = ctypes.cast(schema.children, ctypes.POINTER(ctypes.POINTER(Schema)))[0].contents
    child = ctypes.cast(array.children, ctypes.POINTER(ctypes.POINTER(Array)))[0].contents
    bufs = ctypes.cast(array.buffers, ctypes.POINTER(ctypes.c_void_p))
    n = array.length
    offsets = struct.unpack("<%dq" % (n + 1), ctypes.string_at(bufs[1], 8 * (n + 1)))
    strings = _strings(child_schema.format, child, child.length)
    valid = ctypes.string_at(bufs[0], (n + 7) // 8) if bufs[0] else None
    return [None if valid and not (valid[i // 8] >> (i % 8)) & 1
            else [t.decode("utf-8") for t in strings[offsets[i]:offsets[i + 1]]] for i in range(n)]


def read_lists(result):
    """The rows of a large_list result, read through the interface as a
    consumer reads them (moving each structure out, then releasing it)."""
    schema_capsule = result.__arrow_c_schema__()  # released with the capsule
    schema = Schema.from_address(_get_pointer(schema_capsule, b"arrow_schema"))
    capsule = result.__arrow_c_stream__()
    stream = Stream.from_address(_get_pointer(capsule, b"arrow_array_stream"))
    rows = []
    while True:
        array = Array()
        if stream.get_next(ctypes.pointer(stream), ctypes.pointer(array)) != 0:
            raise Mismatch("our stream failed")
        if not array.release:
            break
        rows += _lists(schema, array)
        array.release(ctypes.pointer(array))
    return rows


def main():
    argv = [shlex.join([sys.executable, os.path.abspath(__file__)])] + sys.argv[1:]
    if not any(a.startswith(("-runs=", "-max_total_time=")) or os.path.isfile(a) for a in argv[1:]):
        argv.append(f"-runs={RUNS}")
    atheris.Setup(argv, one_input)
    atheris.Fuzz()


if __name__ == "__main__":
    main()
