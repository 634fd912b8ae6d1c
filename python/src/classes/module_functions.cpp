// The module functions: the unary functions, atan2 and the reductions over a list of series.
// Unlike the NumericSeries methods of the same names they take every operand as an argument, so
// a plain number is accepted wherever a series is and becomes a constant series.
#include "binding/methods.h"
#include "classes/numeric_series_operators.h"
#include "veltrix_compute/builders/numeric_series.h"

namespace veltrix_compute::python {

namespace {

using model::NumericSeries;
using Rows = MethodsOf<void>;

#define UNARY_FUNCTION(name, Record) Rows::method<#name "(x)", &unary<model::Record, &NumericSeries::name>>(),

auto functions = Rows::table(
    VELTRIX_UNARY_VARIANTS(UNARY_FUNCTION)
    Rows::method<"atan2(y, x)", &veltrix_compute::atan2>(),
    Rows::method<"max(inputs)", &veltrix_compute::max>(),
    Rows::method<"mean(inputs)", &veltrix_compute::mean>(),
    Rows::method<"min(inputs)", &veltrix_compute::min>(),
    Rows::method<"sum(inputs)", &veltrix_compute::sum>(),
    Rows::method<"product(inputs)", &veltrix_compute::product>());

#undef UNARY_FUNCTION

}  // namespace

PyMethodDef* module_functions() { return functions.data(); }

}  // namespace veltrix_compute::python
