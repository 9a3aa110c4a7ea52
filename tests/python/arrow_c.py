"""Arrow's C data interface from Python, with ctypes, for the columnar tests
and the columnar fuzz target: the structures, a producer of string streams
that can fail part way, and consumers that stop part way. (pyarrow, where a
helper needs it, provides the arrays themselves.)"""
import ctypes


class ArrowSchema(ctypes.Structure):
    pass


class ArrowArray(ctypes.Structure):
    pass


class ArrowArrayStream(ctypes.Structure):
    pass


SCHEMA_RELEASE = ctypes.CFUNCTYPE(None, ctypes.POINTER(ArrowSchema))
ARRAY_RELEASE = ctypes.CFUNCTYPE(None, ctypes.POINTER(ArrowArray))
STREAM_RELEASE = ctypes.CFUNCTYPE(None, ctypes.POINTER(ArrowArrayStream))
GET_SCHEMA = ctypes.CFUNCTYPE(ctypes.c_int, ctypes.POINTER(ArrowArrayStream), ctypes.POINTER(ArrowSchema))
GET_NEXT = ctypes.CFUNCTYPE(ctypes.c_int, ctypes.POINTER(ArrowArrayStream), ctypes.POINTER(ArrowArray))
GET_LAST_ERROR = ctypes.CFUNCTYPE(ctypes.c_void_p, ctypes.POINTER(ArrowArrayStream))

ArrowSchema._fields_ = [("format", ctypes.c_char_p), ("name", ctypes.c_char_p), ("metadata", ctypes.c_void_p),
                        ("flags", ctypes.c_int64), ("n_children", ctypes.c_int64),
                        ("children", ctypes.POINTER(ctypes.POINTER(ArrowSchema))),
                        ("dictionary", ctypes.c_void_p), ("release", SCHEMA_RELEASE),
                        ("private_data", ctypes.c_void_p)]
ArrowArray._fields_ = [("length", ctypes.c_int64), ("null_count", ctypes.c_int64), ("offset", ctypes.c_int64),
                       ("n_buffers", ctypes.c_int64), ("n_children", ctypes.c_int64),
                       ("buffers", ctypes.POINTER(ctypes.c_void_p)),
                       ("children", ctypes.POINTER(ctypes.POINTER(ArrowArray))),
                       ("dictionary", ctypes.c_void_p), ("release", ARRAY_RELEASE),
                       ("private_data", ctypes.c_void_p)]
ArrowArrayStream._fields_ = [("get_schema", GET_SCHEMA), ("get_next", GET_NEXT),
                             ("get_last_error", GET_LAST_ERROR), ("release", STREAM_RELEASE),
                             ("private_data", ctypes.c_void_p)]

_get_pointer = ctypes.pythonapi.PyCapsule_GetPointer
_get_pointer.restype = ctypes.c_void_p
_get_pointer.argtypes = [ctypes.py_object, ctypes.c_char_p]
_new_capsule = ctypes.pythonapi.PyCapsule_New
_new_capsule.restype = ctypes.py_object
_new_capsule.argtypes = [ctypes.c_void_p, ctypes.c_char_p, ctypes.c_void_p]


def pointer(capsule, name: bytes):
    return _get_pointer(capsule, name)


def release(struct) -> None:
    """Calls a structure's release callback, as a consumer does."""
    struct.release(ctypes.pointer(struct))


class FailingStream:
    """Offers __arrow_c_stream__ of the given string arrays, whose get_next
    fails with `errno` and `message` when asked for array `fail_at`."""

    def __init__(self, arrays, fail_at, errno=5, message=b"the producer failed"):
        self.arrays, self.fail_at, self.errno, self.message = list(arrays), fail_at, errno, message
        self.released = 0
        self.next = 0
        self._keep = []

    def __arrow_c_stream__(self, requested_schema=None):
        stream = ArrowArrayStream()
        message = ctypes.create_string_buffer(self.message)

        def get_schema(_, out):
            self.arrays[0].type._export_to_c(ctypes.addressof(out.contents))
            return 0

        def get_next(_, out):
            if self.next == self.fail_at:
                return self.errno
            if self.next == len(self.arrays):
                out.contents.release = ARRAY_RELEASE()
                return 0
            self.arrays[self.next]._export_to_c(ctypes.addressof(out.contents))
            self.next += 1
            return 0

        def last_error(_):
            return ctypes.addressof(message)

        def release_stream(s):
            self.released += 1
            s.contents.release = STREAM_RELEASE()

        callbacks = (GET_SCHEMA(get_schema), GET_NEXT(get_next), GET_LAST_ERROR(last_error),
                     STREAM_RELEASE(release_stream), message, stream)
        self._keep.append(callbacks)
        stream.get_schema, stream.get_next, stream.get_last_error, stream.release = callbacks[:4]
        return _new_capsule(ctypes.addressof(stream), b"arrow_array_stream", None)


def take_array(result):
    """Moves the array of result.__arrow_c_array__() out of its capsule, as a
    consumer does; the caller releases it (and the schema)."""
    schema_capsule, array_capsule = result.__arrow_c_array__()
    schema, array = ArrowSchema(), ArrowArray()
    ctypes.memmove(ctypes.byref(schema), pointer(schema_capsule, b"arrow_schema"), ctypes.sizeof(schema))
    ctypes.memmove(ctypes.byref(array), pointer(array_capsule, b"arrow_array"), ctypes.sizeof(array))
    ArrowSchema.from_address(pointer(schema_capsule, b"arrow_schema")).release = SCHEMA_RELEASE()
    ArrowArray.from_address(pointer(array_capsule, b"arrow_array")).release = ARRAY_RELEASE()
    return schema, array


def first_of_stream(result):
    """Reads one array of result's stream, then releases the stream: a
    consumer that stops part way. The caller releases the array."""
    capsule = result.__arrow_c_stream__()
    stream = ArrowArrayStream.from_address(pointer(capsule, b"arrow_array_stream"))
    array = ArrowArray()
    assert stream.get_next(ctypes.byref(stream), ctypes.byref(array)) == 0
    release(stream)
    return array


def strings_of(array: ArrowArray, schema) -> list:
    """The values of a moved-out array, through pyarrow (which takes it over)."""
    import pyarrow as pa

    return pa.Array._import_from_c(ctypes.addressof(array), schema).to_pylist()
