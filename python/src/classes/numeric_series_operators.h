// Operations of NumericSeries that more than one file offers: the number-protocol slots (listed
// in the class's slot table), and the bodies that the methods and the module functions of the
// same names share.
#pragma once

#include <utility>
#include <vector>

#include "binding/python_api.h"
#include "binding/wrapped.h"
#include "conversions/arguments.h"

namespace veltrix_compute::python {

// The nine unary variants that are both methods and module functions, as (name, record), in the
// order both tables list them.
#define VELTRIX_UNARY_VARIANTS(X) \
  X(abs, Abs) X(cos, Cos) X(sin, Sin) X(tan, Tan) X(acos, Acos) X(asin, Asin) X(ln, Ln) X(log10, Log10) X(sqrt, Sqrt)

// The node of a unary variant (abs, negate, cos, ...), whose record holds the operand as `x`.
template <class Record, model::NumericSeries (*Make)(Record)>
struct UnaryNode {
  // The method (and unary minus): the operand is the receiver.
  static PyObject* of_receiver(PyObject* self) { return wrap(Make(Record{copy_receiver<model::NumericSeries>(self)})); }
  // The module function: the operand is the argument `x`, which may be a plain number.
  static PyObject* of_argument(PyObject*, PyObject** bound) {
    model::NumericSeries x = convert_argument("x", [&] { return numeric_series_input(bound[0]); });
    return wrap(Make(Record{std::move(x)}));
  }
};

// Max, Mean, Min, Sum and Product, as static factories and as module functions.
template <model::NumericSeries (*Build)(std::vector<model::NumericSeries>)>
PyObject* reduction(PyObject*, PyObject** bound) {
  std::vector<model::NumericSeries> inputs =
      convert_argument("inputs", [&] { return list_of(bound[0], numeric_series_input); });
  return wrap(Build(std::move(inputs)));
}

// The number-protocol slots of the class.
namespace numeric_series_slots {
PyObject* negative(PyObject* operand);
PyObject* add(PyObject* a, PyObject* b);
PyObject* subtract(PyObject* a, PyObject* b);
PyObject* multiply(PyObject* a, PyObject* b);
PyObject* remainder(PyObject* a, PyObject* b);
PyObject* true_divide(PyObject* a, PyObject* b);
PyObject* floor_divide(PyObject* a, PyObject* b);
PyObject* power(PyObject* a, PyObject* b, PyObject* modulus);
}  // namespace numeric_series_slots

}  // namespace veltrix_compute::python
