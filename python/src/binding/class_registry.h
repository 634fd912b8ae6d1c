// The PyType_Spec of each class, and the module's list of functions. Each class family's file
// defines its own; this is where the binding layer finds them.
#pragma once

#include "binding/python_api.h"
#include "binding/wrapped.h"

namespace veltrix_compute::python {

// The PyType_Spec of a class.
const PyType_Spec* class_spec(ClassId id);

// The module functions in the order the module adds them, ending with a null entry.
PyMethodDef* module_functions();

// Slots shared by every class: freeing the held value.
template <class T>
PyType_Spec make_class_spec(const char* full_name, PyType_Slot* slots, bool callable = false) {
  // No class can be subclassed (no base-type flag), only RangeMap can be called, instances have
  // no __dict__ and no weak references, and nothing is tracked by the cyclic collector since an
  // object refers to no other Python object.
  unsigned int flags = Py_TPFLAGS_DEFAULT;
  if (!callable) flags |= Py_TPFLAGS_DISALLOW_INSTANTIATION;
  return PyType_Spec{full_name, static_cast<int>(sizeof(Wrapped<T>)), 0, flags, slots};
}

}  // namespace veltrix_compute::python
