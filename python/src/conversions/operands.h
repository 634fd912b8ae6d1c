// Operands of the number protocol. An operand that cannot be converted makes the operator return
// NotImplemented, so that the interpreter tries the other operand or raises its own TypeError.
//
// Deliberate exceptions to that rule: running out of memory (MemoryError) and internal failures
// are raised from operators too, since answering NotImplemented would hide them behind an
// unrelated "unsupported operand" TypeError.
#pragma once

#include <optional>

#include "binding/failure.h"
#include "binding/python_api.h"

namespace veltrix_compute::python {

// The converted operand, or nothing when `convert` refused it (the refusal is cleared).
template <class Convert>
auto try_operand(Convert&& convert) -> std::optional<decltype(convert())> {
  try {
    return convert();
  } catch (const PythonError&) {
    if (PyErr_ExceptionMatches(PyExc_MemoryError)) throw;
    PyErr_Clear();
    return std::nullopt;
  }
}

inline PyObject* not_implemented() {
  Py_INCREF(Py_NotImplemented);
  return Py_NotImplemented;
}

}  // namespace veltrix_compute::python
