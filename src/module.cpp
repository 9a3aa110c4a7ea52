// The module entry: creates the module once per process and registers the
// classes, each as an attribute and a name in __all__.
#include "binding/boundary.hpp"
#include "binding/class.hpp"
#include "binding/python.hpp"
#include "core/texts.hpp"

#include <atomic>

// The classes, in registration order, each with the folder (and namespace)
// of its native type; each class file defines class_def<Native>().
#define QUARNEL_CLASSES(X)                      \
    X(converter, Converter)                     \
    X(regex_tokenizer, RegexTokenizer)          \
    X(qa_annotator, QAAnnotator)                \
    X(icu_word_pre_tokenizer, ICUWordPreTokenizer)

#define QUARNEL_DECLARE_NATIVE(folder, Native) \
    namespace quarnel::folder {                 \
    class Native;                               \
    }
QUARNEL_CLASSES(QUARNEL_DECLARE_NATIVE)

namespace quarnel::binding {

#define QUARNEL_DECLARE_CLASS_DEF(folder, Native) \
    template <>                                   \
    ClassDef& class_def<folder::Native>();
QUARNEL_CLASSES(QUARNEL_DECLARE_CLASS_DEF)

#define QUARNEL_CLASS_DEF(folder, Native) &class_def<folder::Native>,
constexpr ClassDef& (*const kClasses[])() = {QUARNEL_CLASSES(QUARNEL_CLASS_DEF)};

namespace {

PyModuleDef module_def = {
    PyModuleDef_HEAD_INIT,
    "quarnel",
    texts::kModuleDoc,
    0,
    nullptr,
    nullptr,
    nullptr,
    nullptr,
    nullptr,
};

// Set by the first successful initialisation (to its module, whose
// reference it keeps), and from then on the flag that refuses any other:
// a re-import after the module left sys.modules, a reload, a
// sub-interpreter. Nothing reads the module through it. Atomic: on
// free-threaded builds two threads could initialise at once.
std::atomic<PyObject*> g_module{nullptr};

Result<void> register_class(PyObject* module, ClassDef& def) {
    PyTypeObject* type = type_object(def);
    if (!type) return pending();

    Ref all = Ref::steal(PyObject_GetAttrString(module, "__all__"));
    if (!all) {
        if (!PyErr_ExceptionMatches(PyExc_AttributeError)) return pending();
        PyErr_Clear();
        all = Ref::steal(PyList_New(0));
        if (!all || PyObject_SetAttrString(module, "__all__", all.get()) < 0) return pending();
    } else if (!PyList_Check(all.get())) {
        return type_error(texts::kAllNotList);
    }
    Ref name = Ref::steal(PyUnicode_FromString(def.name()));
    if (!name || PyList_Append(all.get(), name.get()) < 0) return pending();
    if (PyObject_SetAttr(module, name.get(), reinterpret_cast<PyObject*>(type)) < 0) return pending();
    return {};
}

Error initialised_before() {
    return Error{ErrorKind::ImportError, texts::kInitialisedBefore};
}

Result<PyObject*> initialise() {
    if (g_module.load(std::memory_order_acquire)) return initialised_before();
    Ref module = Ref::steal(PyModule_Create2(&module_def, PYTHON_API_VERSION));
    if (!module) return pending();
#ifdef Py_GIL_DISABLED
    // Nothing here needs the GIL: conversions read containers under their
    // critical sections, instances never change after construction, and
    // shared caches are made once, atomically.
    if (PyUnstable_Module_SetGIL(module.get(), Py_MOD_GIL_NOT_USED) < 0) return pending();
#endif
    QUARNEL_TRY_VOID(learn_main_thread());
    for (ClassDef& (*def)() : kClasses)
        QUARNEL_TRY_VOID(register_class(module.get(), def()));
    PyObject* expected = nullptr;
    if (!g_module.compare_exchange_strong(expected, module.get(), std::memory_order_acq_rel))
        return initialised_before();
    Py_INCREF(module.get());  // the cache's own reference
    return module.release();
}

}  // namespace
}  // namespace quarnel::binding

extern "C" __attribute__((visibility("default"))) PyObject* PyInit_quarnel() {
    return quarnel::binding::boundary(quarnel::binding::initialise);
}
