// The number protocol of NumericSeries: unary minus and the seven binary arithmetic operators.
// An operator builds the same node as the builder of its name from copies of its operands; an
// operand that is neither a series nor a number gives NotImplemented, so that the interpreter
// tries the other operand or raises its own TypeError.
#include "classes/numeric_series_operators.h"

#include "conversions/operands.h"
#include "veltrix_compute/builders/numeric_series.h"

namespace veltrix_compute::python {

namespace {

using model::NumericSeries;
using Builder = NumericSeries (*)(NumericSeries, NumericSeries);

// The interpreter calls a binary slot with the operands in expression order, whichever of them is
// the series, so the left operand always goes first to the builder (left, or the base of a power).
// When both are series the forward form applies.
template <Builder Build>
PyObject* binary(PyObject* a, PyObject* b) {
  return guarded([&]() -> PyObject* {
    if (is_instance<NumericSeries>(a)) {
      if (auto right = try_operand([&] { return numeric_series_input(b); })) {
        NumericSeries left = copy_held_value<NumericSeries>(a);
        return wrap(Build(std::move(left), std::move(*right)));
      }
    }
    if (is_instance<NumericSeries>(b)) {
      if (auto left = try_operand([&] { return numeric_series_input(a); })) {
        NumericSeries right = copy_held_value<NumericSeries>(b);
        return wrap(Build(std::move(*left), std::move(right)));
      }
    }
    return not_implemented();
  });
}

}  // namespace

namespace numeric_series_slots {

PyObject* negative(PyObject* operand) {
  return guarded([&] { return UnaryNode<model::Negate, &NumericSeries::negate>::of_receiver(operand); });
}
PyObject* add(PyObject* a, PyObject* b) { return binary<&numeric_series_add>(a, b); }
PyObject* subtract(PyObject* a, PyObject* b) { return binary<&numeric_series_subtract>(a, b); }
PyObject* multiply(PyObject* a, PyObject* b) { return binary<&numeric_series_multiply>(a, b); }
PyObject* remainder(PyObject* a, PyObject* b) { return binary<&numeric_series_modulo>(a, b); }
PyObject* true_divide(PyObject* a, PyObject* b) { return binary<&numeric_series_divide>(a, b); }
PyObject* floor_divide(PyObject* a, PyObject* b) { return binary<&numeric_series_floor_divide>(a, b); }
// The modulus of three-argument pow() is accepted and ignored: a series has no modular power.
PyObject* power(PyObject* a, PyObject* b, PyObject*) { return binary<&numeric_series_power>(a, b); }

}  // namespace numeric_series_slots

}  // namespace veltrix_compute::python
