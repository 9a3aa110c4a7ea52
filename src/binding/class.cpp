#include "binding/class.hpp"
#include "core/texts.hpp"

#include <cstring>
#include <string>

namespace quarnel::binding {

namespace {

// "{name}{signature}\n--\n\n{body}": the interpreter splits this into
// __text_signature__ and __doc__.
Result<std::string> documentation(const char* name, const std::string& signature, const char* body,
                                  const char* what) {
    std::string doc = std::string(name) + signature + "\n--\n\n" + body;
    if (doc.find('\0') != std::string::npos) return value_error(texts::doc_has_nul(what));
    return doc;
}

Result<PyTypeObject*> create_type(ClassDef& def) {
    const char* name = def.name();
    QUARNEL_TRY(std::string class_doc,
                documentation(name, text_signature(*def.constructor, false), def.body, "class"));

    def.docs.clear();
    def.docs.reserve(def.methods.size());
    def.method_table.clear();
    for (const MethodDef& m : def.methods) {
        if (std::strcmp(m.entry->cls, name) != 0) fault(std::string(m.entry->func) + " is not an entry of " + name);
        QUARNEL_TRY(std::string doc, documentation(m.entry->func, text_signature(*m.entry, true), m.body, "function"));
        def.docs.push_back(std::move(doc));
    }
    for (std::size_t i = 0; i < def.methods.size(); ++i) {
        def.method_table.push_back(PyMethodDef{def.methods[i].entry->func,
                                               reinterpret_cast<PyCFunction>(reinterpret_cast<void (*)()>(def.methods[i].function)),
                                               METH_FASTCALL | METH_KEYWORDS, def.docs[i].c_str()});
    }
    def.method_table.push_back(PyMethodDef{nullptr, nullptr, 0, nullptr});

    std::vector<PyType_Slot> slots{
        {Py_tp_doc, const_cast<char*>(class_doc.c_str())},
        {Py_tp_base, &PyBaseObject_Type},
        {Py_tp_dealloc, reinterpret_cast<void*>(def.dealloc)},
        {Py_tp_new, reinterpret_cast<void*>(def.construct)},
        {Py_tp_methods, def.method_table.data()},
    };
    if (def.call) slots.push_back({Py_tp_call, reinterpret_cast<void*>(def.call)});
    slots.push_back({0, nullptr});

    def.qualified_name = std::string(texts::kClassModulePrefix) + name;
    PyType_Spec spec{def.qualified_name.c_str(), static_cast<int>(def.basicsize), 0, Py_TPFLAGS_DEFAULT, slots.data()};
    PyObject* type = PyType_FromSpec(&spec);  // copies the name and the class doc
    if (!type) return pending();
    return reinterpret_cast<PyTypeObject*>(type);
}

}  // namespace

PyTypeObject* type_object(ClassDef& def) {
    if (PyTypeObject* type = def.type.load(std::memory_order_acquire)) return type;
#ifdef Py_GIL_DISABLED
    // One creation at a time (the lock lets the thread detach while it
    // waits, so a stop-the-world pause is never held up); a second thread
    // then finds the type made.
    static PyMutex creating{};
    PyMutex_Lock(&creating);
    struct Unlock {
        ~Unlock() { PyMutex_Unlock(&creating); }
    } unlock;
    if (PyTypeObject* type = def.type.load(std::memory_order_acquire)) return type;
#endif
    Result<PyTypeObject*> r = create_type(def);
    if (!r) {
        raise(r.error());
        return nullptr;
    }
    def.type.store(r.value(), std::memory_order_release);
    return r.value();
}

}  // namespace quarnel::binding
