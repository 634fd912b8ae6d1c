// The module functions: the unary functions, atan2 and the reductions over a list of series.
// Unlike the NumericSeries methods of the same names they take every operand as an argument, so
// a plain number is accepted wherever a series is and becomes a constant series.
#include <utility>

#include "binding/methods.h"
#include "classes/numeric_series_operators.h"
#include "conversions/arguments.h"
#include "veltrix_compute/builders/numeric_series.h"

namespace veltrix_compute::python {

namespace {

using model::NumericSeries;

#define UNARY_PARAMETERS(name, Record) constexpr ParameterList kUnary##Record{#name, nullptr, {"x"}, 1, 1};
VELTRIX_UNARY_VARIANTS(UNARY_PARAMETERS)
#undef UNARY_PARAMETERS

constexpr ParameterList kAtan2{"atan2", nullptr, {"y", "x"}, 2, 2};
PyObject* atan2_function(PyObject*, PyObject** bound) {
  NumericSeries y = convert_argument("y", [&] { return numeric_series_input(bound[0]); });
  NumericSeries x = convert_argument("x", [&] { return numeric_series_input(bound[1]); });
  return wrap(veltrix_compute::atan2(std::move(y), std::move(x)));
}

constexpr ParameterList kMax{"max", nullptr, {"inputs"}, 1, 1};
constexpr ParameterList kMean{"mean", nullptr, {"inputs"}, 1, 1};
constexpr ParameterList kMin{"min", nullptr, {"inputs"}, 1, 1};
constexpr ParameterList kSum{"sum", nullptr, {"inputs"}, 1, 1};
constexpr ParameterList kProduct{"product", nullptr, {"inputs"}, 1, 1};

}  // namespace

#define UNARY_FUNCTION(name, Record) \
  module_function<kUnary##Record, UnaryNode<model::Record, &NumericSeries::name>::of_argument>(),

PyMethodDef module_function_table[] = {
    VELTRIX_UNARY_VARIANTS(UNARY_FUNCTION)
    module_function<kAtan2, atan2_function>(),
    module_function<kMax, reduction<&veltrix_compute::max>>(),
    module_function<kMean, reduction<&veltrix_compute::mean>>(),
    module_function<kMin, reduction<&veltrix_compute::min>>(),
    module_function<kSum, reduction<&veltrix_compute::sum>>(),
    module_function<kProduct, reduction<&veltrix_compute::product>>(),
    kEndOfMethods,
};
#undef UNARY_FUNCTION

}  // namespace veltrix_compute::python
