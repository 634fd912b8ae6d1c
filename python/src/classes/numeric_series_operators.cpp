// The number protocol of NumericSeries: unary minus and the seven binary arithmetic operators.
// An operator builds the same node as the builder of its name from copies of its operands; an
// operand that is neither a series nor a number gives NotImplemented, so that the interpreter
// tries the other operand or raises its own TypeError.
//
// Deliberate exceptions to that rule: running out of memory (MemoryError) and internal failures
// are raised from operators too, since answering NotImplemented would hide them behind an
// unrelated "unsupported operand" TypeError.
#include "classes/numeric_series_operators.h"

#include <array>
#include <optional>
#include <utility>

#include "binding/failure.h"
#include "binding/wrapped.h"
#include "conversions/from_python.h"
#include "veltrix_compute/builders/numeric_series.h"

namespace veltrix_compute::python {

namespace {

using model::NumericSeries;
using Builder = NumericSeries (*)(NumericSeries, NumericSeries);

// The interpreter calls a binary slot with the operands in expression order, whichever of them is
// the series, so the left operand always goes first to the builder (left, or the base of a power).
// When both are series the forward form applies. A refused operand sets no exception; one that is
// set was raised from Python code and must not be hidden.
template <Builder Build>
PyObject* binary(PyObject* a, PyObject* b) {
  return guarded([&]() -> PyObject* {
    std::optional<NumericSeries> operand;
    if (is_instance<NumericSeries>(a)) {
      if (from_python(b, operand, Refusal::of_operand())) {
        return wrap(Build(copy_held_value<NumericSeries>(a), std::move(*operand)));
      }
      // Refused, so b is no series either.
    } else if (is_instance<NumericSeries>(b) && from_python(a, operand, Refusal::of_operand())) {
      return wrap(Build(std::move(*operand), copy_held_value<NumericSeries>(b)));
    }
    return PyErr_Occurred() ? nullptr : not_implemented();
  });
}

PyObject* negative(PyObject* operand) {
  return guarded([&] {
    return wrap(unary<model::Negate, &NumericSeries::negate>(copy_held_value<NumericSeries>(operand)));
  });
}

// The modulus of three-argument pow() is accepted and ignored: a series has no modular power.
PyObject* power(PyObject* a, PyObject* b, PyObject*) { return binary<&numeric_series_power>(a, b); }

template <class Function>
void* slot(Function* function) {
  return reinterpret_cast<void*>(function);
}

const std::array<PyType_Slot, 8> kNumberSlots{{
    {Py_nb_negative, slot(&negative)},
    {Py_nb_add, slot(&binary<&numeric_series_add>)},
    {Py_nb_subtract, slot(&binary<&numeric_series_subtract>)},
    {Py_nb_multiply, slot(&binary<&numeric_series_multiply>)},
    {Py_nb_remainder, slot(&binary<&numeric_series_modulo>)},
    {Py_nb_true_divide, slot(&binary<&numeric_series_divide>)},
    {Py_nb_floor_divide, slot(&binary<&numeric_series_floor_divide>)},
    {Py_nb_power, slot(&power)},
}};

}  // namespace

std::span<const PyType_Slot> numeric_series_number_slots() { return kNumberSlots; }

}  // namespace veltrix_compute::python
