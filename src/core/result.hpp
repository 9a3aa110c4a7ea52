// Expected failures travel as values: a Result<T> holds either a T or an
// Error (exception kind plus message). Only internal faults unwind (fault.hpp).
#pragma once

#include <cstdint>
#include <string>
#include <type_traits>
#include <utility>
#include <variant>

namespace quarnel {

enum class ErrorKind : std::uint8_t {
    TypeError,
    ValueError,
    KeyError,
    OverflowError,
    ImportError,
    MemoryError,
    // The interpreter already holds the exception (set by a C API call made
    // with the interpreter lock held); the message is empty. Only the binding
    // layer produces this kind.
    Pending,
};

struct Error {
    ErrorKind kind;
    std::string message;

    friend bool operator==(const Error&, const Error&) = default;
};

inline Error type_error(std::string msg) { return {ErrorKind::TypeError, std::move(msg)}; }
inline Error value_error(std::string msg) { return {ErrorKind::ValueError, std::move(msg)}; }
inline Error key_error(std::string msg) { return {ErrorKind::KeyError, std::move(msg)}; }
inline Error overflow_error(std::string msg) { return {ErrorKind::OverflowError, std::move(msg)}; }

template <class T>
class [[nodiscard]] Result {
public:
    using value_type = T;

    Result(T value) : v_(std::in_place_index<0>, std::move(value)) {}
    Result(Error error) : v_(std::in_place_index<1>, std::move(error)) {}

    bool ok() const noexcept { return v_.index() == 0; }
    explicit operator bool() const noexcept { return ok(); }

    T& value() & { return std::get<0>(v_); }
    const T& value() const& { return std::get<0>(v_); }
    T&& value() && { return std::get<0>(std::move(v_)); }
    T* operator->() { return &std::get<0>(v_); }
    const T* operator->() const { return &std::get<0>(v_); }
    T& operator*() & { return value(); }
    T&& operator*() && { return std::move(*this).value(); }

    Error& error() & { return std::get<1>(v_); }
    const Error& error() const& { return std::get<1>(v_); }
    Error&& error() && { return std::get<1>(std::move(v_)); }

private:
    std::variant<T, Error> v_;
};

template <>
class [[nodiscard]] Result<void> {
public:
    using value_type = void;

    Result() = default;
    Result(Error error) : err_(std::move(error)), failed_(true) {}

    bool ok() const noexcept { return !failed_; }
    explicit operator bool() const noexcept { return ok(); }

    Error& error() & { return err_; }
    const Error& error() const& { return err_; }
    Error&& error() && { return std::move(err_); }

private:
    Error err_{};
    bool failed_ = false;
};

}  // namespace quarnel

// Propagation of failures. QUARNEL_TRY(var, expr) evaluates a Result<T>
// expression; on failure it returns the error from the enclosing function,
// otherwise it binds the value to `var` (a declaration or an lvalue). The
// expression may hold commas (template arguments).
// QUARNEL_TRY_VOID(expr) does the same for a Result<void>. Their temporaries
// are named with __COUNTER__, so several may share a line (or a macro).
#define QUARNEL_CONCAT_IMPL(a, b) a##b
#define QUARNEL_CONCAT(a, b) QUARNEL_CONCAT_IMPL(a, b)
#define QUARNEL_TRY_IMPL(tmp, var, expr)          \
    auto tmp = (expr);                            \
    if (!tmp.ok()) return std::move(tmp).error(); \
    var = std::move(tmp).value()
#define QUARNEL_TRY(var, ...) QUARNEL_TRY_IMPL(QUARNEL_CONCAT(quarnel_try_, __COUNTER__), var, (__VA_ARGS__))
#define QUARNEL_TRY_VOID_IMPL(tmp, expr)                                    \
    do {                                                                  \
        if (auto tmp = (expr); !tmp.ok()) return std::move(tmp).error(); \
    } while (0)
#define QUARNEL_TRY_VOID(...) QUARNEL_TRY_VOID_IMPL(QUARNEL_CONCAT(quarnel_try_, __COUNTER__), (__VA_ARGS__))
