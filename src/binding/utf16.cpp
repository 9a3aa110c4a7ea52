#include "binding/utf16.hpp"

#include <algorithm>

#include "core/capacity.hpp"
#include "core/fault.hpp"
#include "codec/utf16.hpp"

namespace quarnel::binding {

namespace {

// The str's code points as UTF-16 appended to `out`; false (with `out`
// unchanged) when one of them is a surrogate, which UTF-8 cannot encode.
// Surrogates are judged as the str's own code points: two lone surrogates
// that would form a pair in UTF-16 are refused too.
bool widen(const Py_UCS1* p, std::size_t n, std::u16string& out) {
    const std::size_t start = out.size();
    out.resize(start + n);
    std::copy(p, p + n, out.data() + start);
    return true;
}

bool widen(const Py_UCS2* p, std::size_t n, std::u16string& out) {
    const std::size_t start = out.size();
    out.resize(start + n);
    char16_t* d = out.data() + start;
    unsigned surrogates = 0;
    for (std::size_t i = 0; i < n; ++i) {
        d[i] = p[i];
        surrogates |= (p[i] & 0xF800u) == 0xD800u;
    }
    if (surrogates == 0) return true;
    out.resize(start);
    return false;
}

bool widen(const Py_UCS4* p, std::size_t n, std::u16string& out) {
    const std::size_t start = out.size();
    out.resize(start + 2 * n);
    char16_t* d = out.data() + start;
    for (std::size_t i = 0; i < n; ++i) {
        if (codec::is_surrogate(p[i])) {
            out.resize(start);
            return false;
        }
        d = codec::encode_utf16(p[i], d);
    }
    out.resize(static_cast<std::size_t>(d - out.data()));
    return true;
}

thread_local struct {
    Utf16Texts::Buffers buffers;
    bool busy = false;
} t_texts;

}  // namespace

Result<void> append_utf16(PyObject* value, std::u16string& out) {
    return copy_code_points(value, [&](const auto* units, std::size_t n) { return widen(units, n, out); });
}

Utf16Texts::Utf16Texts() : buffers_(nullptr), thread_owned_(!t_texts.busy) {
    if (thread_owned_) {
        t_texts.busy = true;
        buffers_ = &t_texts.buffers;
    } else {
        buffers_ = &own_.emplace();
    }
}

Utf16Texts::Utf16Texts(Utf16Texts&& other) noexcept
    : buffers_(std::exchange(other.buffers_, nullptr)), thread_owned_(other.thread_owned_) {
    if (!thread_owned_ && buffers_) {
        own_.emplace(std::move(*other.own_));
        buffers_ = &*own_;
    }
}

Utf16Texts::~Utf16Texts() {
    if (!buffers_ || !thread_owned_) return;
    if (buffers_->texts.capacity_bytes() + buffers_->tokens.capacity_bytes() > kKeptBytes) {
        *buffers_ = Buffers();
    } else {
        buffers_->texts.clear();
        buffers_->tokens.clear();
    }
    t_texts.busy = false;
}

Result<std::u16string> Convert<std::u16string>::from(PyObject* value) {
    std::u16string out;
    QUARNEL_TRY_VOID(append_utf16(value, out));
    return out;
}

Result<Utf16Texts> Convert<Utf16Texts>::from(PyObject* value) {
    QUARNEL_TRY(Py_ssize_t len, check_sequence(value));
    Utf16Texts texts;
    Utf16List& list = texts.list();
    list.reserve(capacity_hint(len), 0);
    QUARNEL_TRY_VOID(for_each_str(value, [&](PyObject* item) -> Result<void> {
        QUARNEL_TRY_VOID(append_utf16(item, list.open_bytes()));
        list.close_token();
        return {};
    }));
    return texts;
}

Result<Utf16Text> Convert<Utf16Text>::from(PyObject* value) {
    Utf16Text text;
    Utf16List& list = text.list();
    QUARNEL_TRY_VOID(append_utf16(value, list.open_bytes()));
    list.close_token();
    return text;
}

}  // namespace quarnel::binding
