// str -> UTF-16: texts converted into this thread's reusable buffer, and
// stop words (build.hpp builds str objects from UTF-16). Interpreter lock
// held throughout.
#pragma once

#include <optional>
#include <string>

#include "binding/convert.hpp"
#include "binding/python.hpp"
#include "core/result.hpp"
#include "core/token_list.hpp"

namespace quarnel::binding {

// Appends the UTF-16 form of a str to `out`, read straight from the str's
// own storage. Refuses what append_utf8 refuses, with the same errors (a
// lone surrogate: the interpreter's UnicodeEncodeError, whatever follows
// it), leaving `out` as it was.
Result<void> append_utf16(PyObject* value, std::u16string& out);

// Texts in UTF-16, and room for their tokens, held in this thread's
// reusable buffers while they are free (a conversion that runs Python code
// may call back into the module), else in buffers of their own. The buffers
// are emptied when the holder goes, and their memory given back when it
// grew large.
class Utf16Texts {
public:
    Utf16Texts();
    Utf16Texts(Utf16Texts&& other) noexcept;
    Utf16Texts(const Utf16Texts&) = delete;
    Utf16Texts& operator=(const Utf16Texts&) = delete;
    Utf16Texts& operator=(Utf16Texts&&) = delete;
    ~Utf16Texts();

    Utf16List& list() noexcept { return buffers_->texts; }
    Utf16TokenGroups& tokens() noexcept { return buffers_->tokens; }

    // Memory a thread's buffers keep between calls, at most.
    static constexpr std::size_t kKeptBytes = std::size_t{16} << 20;

    struct Buffers {
        Utf16List texts;
        Utf16TokenGroups tokens;
    };

private:
    Buffers* buffers_;
    bool thread_owned_;
    std::optional<Buffers> own_;
};

// One text, as Utf16Texts holding a single string.
class Utf16Text : public Utf16Texts {
public:
    using Utf16Texts::Utf16Texts;
};

template <>
struct Convert<std::u16string> {
    static Result<std::u16string> from(PyObject* value);
};

// A sequence of str (a str itself refused, as for every sequence).
template <>
struct Convert<Utf16Texts> {
    static Result<Utf16Texts> from(PyObject* value);
};

template <>
struct Convert<Utf16Text> {
    static Result<Utf16Text> from(PyObject* value);
};

}  // namespace quarnel::binding
