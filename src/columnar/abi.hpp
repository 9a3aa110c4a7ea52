// The three structures of Arrow's C data and stream interfaces, laid out as
// the format documents them: a type (ArrowSchema), the buffers of one array
// (ArrowArray) and a sequence of arrays of one type (ArrowArrayStream).
// They are a stable ABI: every producer and consumer in the process agrees
// on them without sharing any library. The guards are the documented ones,
// so another definition of the same structures may come first.
#pragma once

#include <cstdint>

extern "C" {

#ifndef ARROW_C_DATA_INTERFACE
#define ARROW_C_DATA_INTERFACE

#define ARROW_FLAG_DICTIONARY_ORDERED 1
#define ARROW_FLAG_NULLABLE 2
#define ARROW_FLAG_MAP_KEYS_SORTED 4

struct ArrowSchema {
    // Array type description
    const char* format;
    const char* name;
    const char* metadata;
    int64_t flags;
    int64_t n_children;
    struct ArrowSchema** children;
    struct ArrowSchema* dictionary;

    // Release callback
    void (*release)(struct ArrowSchema*);
    // Opaque producer-specific data
    void* private_data;
};

struct ArrowArray {
    // Array data description
    int64_t length;
    int64_t null_count;
    int64_t offset;
    int64_t n_buffers;
    int64_t n_children;
    const void** buffers;
    struct ArrowArray** children;
    struct ArrowArray* dictionary;

    // Release callback
    void (*release)(struct ArrowArray*);
    // Opaque producer-specific data
    void* private_data;
};

#endif  // ARROW_C_DATA_INTERFACE

#ifndef ARROW_C_STREAM_INTERFACE
#define ARROW_C_STREAM_INTERFACE

struct ArrowArrayStream {
    // The type of every array of the stream; 0 or an errno value.
    int (*get_schema)(struct ArrowArrayStream*, struct ArrowSchema* out);
    // The next array (out->release == NULL at the end); 0 or an errno value.
    int (*get_next)(struct ArrowArrayStream*, struct ArrowArray* out);
    // The text of the last error, valid until the next call; may be NULL.
    const char* (*get_last_error)(struct ArrowArrayStream*);

    // Release callback
    void (*release)(struct ArrowArrayStream*);
    // Opaque producer-specific data
    void* private_data;
};

#endif  // ARROW_C_STREAM_INTERFACE

}  // extern "C"
