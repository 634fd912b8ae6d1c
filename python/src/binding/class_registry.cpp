#include "binding/class_registry.h"

namespace veltrix_compute::python {

const char* class_name(ClassId id) { return class_spec(id)->name + kModulePrefix.size(); }

PyTypeObject* class_object(ClassId id) {
  // Built under the interpreter lock. Building may run Python code that lets another thread in;
  // if that thread stored its class first, that one is kept and ours dropped.
  static PyObject* classes[static_cast<int>(ClassId::Count)] = {};
  PyObject*& stored = classes[static_cast<int>(id)];
  if (stored == nullptr) {
    PyObject* built = check(PyType_FromSpec(const_cast<PyType_Spec*>(class_spec(id))));
    if (stored == nullptr) {
      stored = built;
    } else {
      Py_DECREF(built);
    }
  }
  return reinterpret_cast<PyTypeObject*>(stored);
}

}  // namespace veltrix_compute::python
