// The NumericSeries class: static factories, instance methods, to_json and the number protocol.
#include <string>
#include <utility>

#include "binding/methods.h"
#include "classes/numeric_series_operators.h"
#include "classes/reference_factory.h"
#include "veltrix_compute/builders/aggregation.h"
#include "veltrix_compute/builders/datasets_and_durations.h"
#include "veltrix_compute/builders/numeric_series.h"
#include "veltrix_compute/builders/time_operations.h"

namespace veltrix_compute::python {

namespace {

using model::NumericSeries;
using Rows = MethodsOf<NumericSeries>;

NumericSeries drop_nan(NumericSeries input) { return NumericSeries::dropNan(model::NumericNanFilter{std::move(input)}); }

#define UNARY_METHOD(name, Record) Rows::method<#name "($self)", &unary<model::Record, &NumericSeries::name>>(),

auto methods = Rows::table(
    VELTRIX_UNARY_VARIANTS(UNARY_METHOD)
    Rows::method<"atan2($self, x)", &veltrix_compute::atan2>(),
    Rows::method<"Max(inputs)", &veltrix_compute::max>(),
    Rows::method<"Mean(inputs)", &veltrix_compute::mean>(),
    Rows::method<"Min(inputs)", &veltrix_compute::min>(),
    Rows::method<"Sum(inputs)", &veltrix_compute::sum>(),
    Rows::method<"Product(inputs)", &veltrix_compute::product>(),
    Rows::method<"Constant(constant)", &NumericSeries::constant>(),
    Rows::method<"tail($self, num_points)", &numeric_series_tail>(),
    Rows::method<"SelectNumeric(name, dataset=None)", &numeric_series_select_numeric>(),
    Rows::method<"head($self, num_points)", &numeric_series_head>(),
    Rows::method<"bit_and($self, operand)", &numeric_series_bit_and>(),
    Rows::method<"bit_or($self, operand)", &numeric_series_bit_or>(),
    Rows::method<"bit_xor($self, operand)", &numeric_series_bit_xor>(),
    Rows::method<"bit_shift_right($self, operand)", &numeric_series_bit_shift_right>(),
    Rows::method<"bit_shift_left($self, operand)", &numeric_series_bit_shift_left>(),
    Rows::method<"bit_test($self, index)", &numeric_series_bit_test>(),
    Rows::method<"NumericAggregation(input, operator)", &numeric_series_numeric_aggregation>(),
    Rows::method<"derivative($self, time_unit=None, negative_values_configuration=None)", &numeric_series_derivative>(),
    Rows::method<"Reference(name)", &reference<NumericSeries, &NumericSeries::raw>>(),
    Rows::method<"nth_point_downsample($self, n)", &numeric_series_nth_point_downsample>(),
    Rows::method<"largest_triangle_three_buckets($self, max_points_to_return)",
                 &numeric_series_largest_triangle_three_buckets>(),
    Rows::method<"value_difference($self, negative_values_configuration=None)", &numeric_series_value_difference>(),
    Rows::method<"drop_nan($self)", &drop_nan>(),
    Rows::method<"Udf(inputs, source)", &numeric_series_udf>(),
    Rows::method<"select_tags($self, tag_keys)", &numeric_series_select_tags>(),
    Rows::method<"to_start_of_interval($self, window)", &numeric_series_to_start_of_interval>(),
    Rows::method<"time_difference($self, time_unit=None)", &numeric_series_time_difference>(),
    Rows::method<"absolute_timestamp($self, time_unit)", &numeric_series_absolute_timestamp>(),
    Rows::method<"RustUdf(inputs, source_code)", &numeric_series_scalar_udf_rust>(),
    Rows::method<"rolling_time($self, window)", &aggregation_builder_rolling_time>(),
    Rows::method<"rolling_points($self, points)", &aggregation_builder_rolling_points>(),
    Rows::method<"group_by($self, tags, timestamp)", &aggregation_builder_group_by>());

#undef UNARY_METHOD

}  // namespace

template <>
ClassDefinition class_definition<model::NumericSeries>() {
  return {methods.data(), numeric_series_number_slots()};
}

}  // namespace veltrix_compute::python
