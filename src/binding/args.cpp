#include "binding/args.hpp"

#include <cstring>
#include <string_view>

#include "binding/boundary.hpp"
#include "core/texts.hpp"

namespace quarnel::binding {

std::string text_signature(const Entry& entry, bool method) {
    std::string out = method ? "($self" : "(";
    for (std::size_t i = 0; i < entry.nparams; ++i) {
        const Param& p = entry.params[i];
        if (i > 0 || method) out += ", ";
        out += p.name;
        if (p.kind == Param::Default::None) continue;
        out += '=';
        if (!p.shown) {
            out += "...";
            continue;
        }
        switch (p.kind) {
            case Param::Default::Bool: out += p.b ? "True" : "False"; break;
            case Param::Default::Int: out += std::to_string(p.i); break;
            case Param::Default::Str:
                out += '"';
                out += p.s;
                out += '"';
                break;
            default: out += "..."; break;
        }
    }
    return out + ")";
}

std::string ArgSlots::entry_name() const {
    return std::string(entry_->cls) + "." + entry_->func + "()";
}

void ArgSlots::check_all_read() const {
    for (std::size_t i = 0; i < entry_->nparams; ++i)
        if (!(read_ & (1u << i))) fault(entry_name() + " never read its parameter '" + entry_->params[i].name + "'");
}

Result<void> ArgSlots::bind_positional(PyObject* const* args, std::size_t nargs) {
    const std::size_t n = entry_->nparams;
    if (nargs > n) {
        return type_error(texts::too_many_positional(entry_name(), entry_->required, n, nargs));
    }
    for (std::size_t i = 0; i < nargs; ++i) slots_[i] = args[i];
    return {};
}

Result<void> ArgSlots::bind_keyword(PyObject* name, PyObject* value, bool hold) {
    Py_ssize_t len = 0;
    const char* utf8 = PyUnicode_Check(name) ? PyUnicode_AsUTF8AndSize(name, &len) : nullptr;
    if (!utf8) {
        if (PyErr_Occurred()) return pending();
        return type_error(texts::keywords_not_strings(entry_name()));
    }
    std::string_view key(utf8, static_cast<std::size_t>(len));
    for (std::size_t i = 0; i < entry_->nparams; ++i) {
        if (key != entry_->params[i].name) continue;
        if (slots_[i]) return type_error(texts::multiple_values(entry_name(), key));
        slots_[i] = value;
#ifdef Py_GIL_DISABLED
        if (hold) held_[i] = Ref::borrow(value);
#else
        (void)hold;
#endif
        return {};
    }
    return type_error(texts::unexpected_keyword(entry_name(), key));
}

Result<void> ArgSlots::check_required() const {
    std::array<const char*, kMaxParams> missing{};
    std::size_t k = 0;
    for (std::size_t i = 0; i < entry_->required; ++i)
        if (!slots_[i]) missing[k++] = entry_->params[i].name;
    if (k == 0) return {};
    return type_error(texts::missing_required(entry_name(), missing, k));
}

Result<void> ArgSlots::bind_vector(PyObject* const* args, std::size_t nargs, PyObject* kwnames) {
    QUARNEL_TRY_VOID(bind_positional(args, nargs));
    if (kwnames) {
        const Py_ssize_t nkw = PyTuple_GET_SIZE(kwnames);
        for (Py_ssize_t j = 0; j < nkw; ++j)
            QUARNEL_TRY_VOID(bind_keyword(PyTuple_GET_ITEM(kwnames, j), args[nargs + static_cast<std::size_t>(j)]));
    }
    return check_required();
}

Result<void> ArgSlots::bind_tuple(PyObject* args, PyObject* kwargs) {
    QUARNEL_TRY_VOID(bind_positional(&PyTuple_GET_ITEM(args, 0), static_cast<std::size_t>(PyTuple_GET_SIZE(args))));
    if (kwargs) {
        Py_ssize_t pos = 0;
        PyObject* key = nullptr;
        PyObject* value = nullptr;
        CriticalSection section(kwargs);  // binding runs no Python code
        while (PyDict_Next(kwargs, &pos, &key, &value))
            QUARNEL_TRY_VOID(bind_keyword(key, value, true));
    }
    return check_required();
}

Error argument_error(const char* param, Error inner) {
    const std::string prefix = texts::argument_prefix(param);
    if (inner.kind == ErrorKind::TypeError) {
        inner.message.insert(0, prefix);
        return inner;
    }
    if (inner.kind != ErrorKind::Pending || !PyErr_Occurred() ||
        PyErr_Occurred() != PyExc_TypeError)  // exactly TypeError, not a subclass
        return inner;

    PyObject *type = nullptr, *value = nullptr, *tb = nullptr;
    PyErr_Fetch(&type, &value, &tb);
    PyErr_NormalizeException(&type, &value, &tb);
    Ref old_type = Ref::steal(type), old_value = Ref::steal(value), old_tb = Ref::steal(tb);
    Ref text = Ref::steal(old_value ? PyObject_Str(old_value.get()) : nullptr);
    if (!text) return pending();
    Ref message = Ref::steal(PyUnicode_FromFormat("%s%U", prefix.c_str(), text.get()));
    if (!message) return pending();
    Ref replacement = Ref::steal(PyObject_CallOneArg(PyExc_TypeError, message.get()));
    if (!replacement) return pending();
    if (PyObject* cause = PyException_GetCause(old_value.get()))  // new reference
        PyException_SetCause(replacement.get(), cause);          // steals it
    PyErr_SetObject(PyExc_TypeError, replacement.get());
    return pending();
}

}  // namespace quarnel::binding
