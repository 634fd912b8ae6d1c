// The PyType_Spec of each class, and the module's list of functions. Each class family's file
// defines its own; this is where the binding layer finds them.
#pragma once

#include <array>
#include <string_view>

#include "binding/methods.h"
#include "binding/python_api.h"
#include "binding/wrapped.h"

namespace veltrix_compute::python {

// The PyType_Spec of a class.
const PyType_Spec* class_spec(ClassId id);

// The module functions in the order the module adds them, ending with a null entry.
PyMethodDef* module_functions();

// Every class's to_json method; its parameter list names the class.
template <class T>
inline constexpr ParameterList kToJsonParameters{"to_json", ClassOf<T>::name.data(), {}, 0, 0};
template <class T>
constexpr PyMethodDef to_json_method() {
  return instance_method_without_arguments<kToJsonParameters<T>, to_json<T>>();
}

// A static factory without arguments that makes one fixed variant (an empty record).
template <class T, T (*Make)()>
PyObject* fixed_variant(PyObject*) {
  return wrap(Make());
}

// The slots of a class that frees its value and has methods, and nothing else.
template <class T, PyMethodDef* Methods>
inline PyType_Slot methods_only_slots[] = {
    {Py_tp_dealloc, reinterpret_cast<void*>(&free_wrapped<T>)},
    {Py_tp_methods, Methods},
    {0, nullptr},
};

// "_compute." followed by the class name: the type's full name, so that its module is "_compute".
inline constexpr std::string_view kModulePrefix = "_compute.";
template <class T>
inline constexpr auto kFullClassName = [] {
  std::array<char, kModulePrefix.size() + ClassOf<T>::name.size() + 1> text{};
  std::size_t at = 0;
  for (char c : kModulePrefix) text[at++] = c;
  for (char c : ClassOf<T>::name) text[at++] = c;
  return text;
}();

// The PyType_Spec of T's class.
template <class T>
PyType_Spec make_class_spec(PyType_Slot* slots, bool callable = false) {
  // No class can be subclassed (no base-type flag), only RangeMap can be called, instances have
  // no __dict__ and no weak references, and nothing is tracked by the cyclic collector since an
  // object refers to no other Python object. Classes are immutable: a replaced __new__ or method
  // could make an object whose value was never built, or run a method on the wrong value.
  unsigned int flags = Py_TPFLAGS_DEFAULT | Py_TPFLAGS_IMMUTABLETYPE;
  if (!callable) flags |= Py_TPFLAGS_DISALLOW_INSTANTIATION;
  return PyType_Spec{kFullClassName<T>.data(), static_cast<int>(sizeof(Wrapped<T>)), 0, flags, slots};
}

}  // namespace veltrix_compute::python
