// The module's entry point and its execution step: the fifteen classes, then the fifteen
// functions, each name appended to __all__ and set as a module attribute.
#include <atomic>
#include <cstdint>

#include "binding/cell_pool.h"
#include "binding/class_list.h"
#include "binding/failure.h"
#include "binding/python_api.h"
#include "binding/wrapped.h"

namespace veltrix_compute::python {

extern PyModuleDef module_definition;

namespace {

// The interpreter that executed the module first. The class objects are once per process, and an
// interpreter that used another one's type objects could resolve a method through its method
// cache to the wrong class, so no other interpreter may execute the module. Interpreter ids are
// never reused within a process.
std::atomic<std::int64_t> owner_interpreter{-1};

void claim_interpreter() {
  const std::int64_t id = PyInterpreterState_GetID(PyInterpreterState_Get());
  if (id < 0) throw PythonError{};
  std::int64_t owner = -1;
  if (owner_interpreter.compare_exchange_strong(owner, id) || owner == id) return;
  raise(PyExc_ImportError,
        "_compute supports one interpreter per process, and another interpreter of this process already uses it");
}

// Appends `name` to the module's __all__ (created empty if missing) and sets the attribute.
void add_name(PyObject* module, PyObject* name, PyObject* object) {
  PyRef all = PyRef::steal(PyObject_GetAttrString(module, "__all__"));
  if (!all) {
    if (!PyErr_ExceptionMatches(PyExc_AttributeError)) throw PythonError{};
    PyErr_Clear();
    all = PyRef::steal(check(PyList_New(0)));
    if (PyObject_SetAttrString(module, "__all__", all.get()) != 0) throw PythonError{};
  } else if (!PyList_Check(all.get())) {
    raise(PyExc_TypeError, "`__all__` must be a list");
  }
  if (PyList_Append(all.get(), name) != 0) {
    FetchedException failure = fetch_exception();
    throw InternalFailure("could not append __name__ to __all__: " +
                          str_of(failure.value ? failure.value.get() : failure.type.get(), "<unknown error>"));
  }
  if (PyObject_SetAttr(module, name, object) != 0) throw PythonError{};
}

// Adds T's class object (built on first use) under its class name.
template <class T>
void add_class(PyObject* module) {
  PyObject* type = reinterpret_cast<PyObject*>(class_object<T>());
  const std::string_view name = ClassOf<T>::name;
  add_name(module, PyRef::steal(check(PyUnicode_FromStringAndSize(name.data(), static_cast<Py_ssize_t>(name.size())))).get(),
           type);
}

int execute_module(PyObject* module) {
  // Before the first value: a cell must go back to the allocator that gave it.
  install_cell_pool();
  return guarded_status([&] {
    if (!PyModule_Check(module)) raise(PyExc_TypeError, "the execution step was not given a module");
    claim_interpreter();
    watch_interpreter_exit();
#define VELTRIX_ADD_CLASS(Name, Type) add_class<model::Type>(module);
    VELTRIX_CLASSES(VELTRIX_ADD_CLASS)
#undef VELTRIX_ADD_CLASS
    // Functions report the definition's name, "_compute", like the classes do; the module's own
    // __name__ is the dotted name it was imported under.
    PyRef module_name = PyRef::steal(check(PyUnicode_FromString(module_definition.m_name)));
    for (PyMethodDef* definition = module_functions(); definition->ml_name != nullptr; ++definition) {
      PyRef function = PyRef::steal(check(PyCMethod_New(definition, module, module_name.get(), nullptr)));
      PyRef name = PyRef::steal(check(PyObject_GetAttrString(function.get(), "__name__")));
      if (!PyUnicode_Check(name.get())) raise(PyExc_TypeError, "a function's __name__ must be a str");
      add_name(module, name.get(), function.get());
    }
    return 0;
  });
}

PyModuleDef_Slot module_slots[] = {
    {Py_mod_exec, reinterpret_cast<void*>(&execute_module)},
    {0, nullptr},
};

}  // namespace

PyModuleDef module_definition = {
    PyModuleDef_HEAD_INIT, "_compute", "", 0, nullptr, module_slots, nullptr, nullptr, nullptr,
};

}  // namespace veltrix_compute::python

extern "C" __attribute__((visibility("default"))) PyObject* PyInit__compute() {
  return PyModuleDef_Init(&veltrix_compute::python::module_definition);
}
