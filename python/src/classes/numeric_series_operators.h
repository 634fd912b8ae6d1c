// What the NumericSeries class shares with the module functions and its operators: the unary
// variants (methods, module functions and unary minus build the same node), and the slot table of
// its number protocol.
#pragma once

#include <span>

#include "binding/python_api.h"
#include "model.h"

namespace veltrix_compute::python {

// The nine unary variants that are both methods and module functions, as (name, record), in the
// order both tables list them.
#define VELTRIX_UNARY_VARIANTS(X) \
  X(abs, Abs) X(cos, Cos) X(sin, Sin) X(tan, Tan) X(acos, Acos) X(asin, Asin) X(ln, Ln) X(log10, Log10) X(sqrt, Sqrt)

// The node of a unary variant (abs, negate, cos, ...), whose record holds the operand as `x`: the
// receiver of a method, the argument of a module function.
template <class Record, compute_api::NumericSeries (*Make)(Record)>
compute_api::NumericSeries unary(compute_api::NumericSeries x) {
  return Make(Record{std::move(x)});
}

// Unary minus and the seven binary arithmetic operators.
std::span<const PyType_Slot> numeric_series_number_slots();

}  // namespace veltrix_compute::python
