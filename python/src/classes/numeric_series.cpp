// The NumericSeries class: static factories, instance methods, to_json and the number protocol.
#include <optional>
#include <string>
#include <type_traits>
#include <utility>
#include <vector>

#include "binding/class_registry.h"
#include "binding/methods.h"
#include "classes/numeric_series_operators.h"
#include "classes/reference_factory.h"
#include "conversions/arguments.h"
#include "veltrix_compute/builders/aggregation.h"
#include "veltrix_compute/builders/datasets_and_durations.h"
#include "veltrix_compute/builders/numeric_series.h"
#include "veltrix_compute/builders/time_operations.h"

namespace veltrix_compute::python {

namespace {

using model::NumericSeries;

// The receiver's copy in the form the builder's first parameter takes: the series itself, or
// the series wrapped as a Series for the builders that accept any kind of series.
template <class Result, class Input, class... Rest>
Input receiver_for(Result (*)(Input, Rest...), PyObject* self) {
  NumericSeries copy = copy_receiver<NumericSeries>(self);
  if constexpr (std::is_same_v<Input, model::Series>) {
    return series_from(std::move(copy));
  } else {
    return copy;
  }
}

// The methods whose one parameter is an integer constant. A plain integer is narrowed to 32 bits
// only after the receiver was copied, so a refused argument is reported before a narrowing.
template <const ParameterList& P, auto Build>
PyObject* with_integer_constant(PyObject* self, PyObject** bound) {
  IntegerConstantInput argument = convert_argument(P.names[0], [&] { return integer_constant_input(bound[0]); });
  auto input = receiver_for(Build, self);
  model::IntegerConstant value = resolve(std::move(argument));
  return wrap(Build(std::move(input), std::move(value)));
}

#define UNARY_PARAMETERS(name, Record) constexpr ParameterList kUnary##Record{#name, "NumericSeries", {}, 0, 0};
VELTRIX_UNARY_VARIANTS(UNARY_PARAMETERS)
#undef UNARY_PARAMETERS

constexpr ParameterList kAtan2{"atan2", "NumericSeries", {"x"}, 1, 1};
PyObject* atan2_method(PyObject* self, PyObject** bound) {
  NumericSeries x = convert_argument("x", [&] { return numeric_series_input(bound[0]); });
  NumericSeries y = copy_receiver<NumericSeries>(self);
  return wrap(veltrix_compute::atan2(std::move(y), std::move(x)));
}

constexpr ParameterList kMax{"Max", "NumericSeries", {"inputs"}, 1, 1};
constexpr ParameterList kMean{"Mean", "NumericSeries", {"inputs"}, 1, 1};
constexpr ParameterList kMin{"Min", "NumericSeries", {"inputs"}, 1, 1};
constexpr ParameterList kSum{"Sum", "NumericSeries", {"inputs"}, 1, 1};
constexpr ParameterList kProduct{"Product", "NumericSeries", {"inputs"}, 1, 1};

constexpr ParameterList kConstant{"Constant", "NumericSeries", {"constant"}, 1, 1};
PyObject* constant(PyObject*, PyObject** bound) {
  model::ConstantNumericSeries value =
      convert_argument("constant", [&] { return constant_numeric_series_input(bound[0]); });
  return wrap(NumericSeries::constant(std::move(value)));
}

constexpr ParameterList kTail{"tail", "NumericSeries", {"num_points"}, 1, 1};

constexpr ParameterList kSelectNumeric{"SelectNumeric", "NumericSeries", {"name", "dataset"}, 2, 1};
PyObject* select_numeric(PyObject*, PyObject** bound) {
  model::StringConstant name = convert_argument("name", [&] { return string_constant_input(bound[0]); });
  std::optional<model::Dataset> dataset =
      convert_optional_argument("dataset", bound[1], object_of_class<model::Dataset>);
  return wrap(numeric_series_select_numeric(std::move(name), std::move(dataset)));
}

constexpr ParameterList kHead{"head", "NumericSeries", {"num_points"}, 1, 1};
constexpr ParameterList kBitAnd{"bit_and", "NumericSeries", {"operand"}, 1, 1};
constexpr ParameterList kBitOr{"bit_or", "NumericSeries", {"operand"}, 1, 1};
constexpr ParameterList kBitXor{"bit_xor", "NumericSeries", {"operand"}, 1, 1};
constexpr ParameterList kBitShiftRight{"bit_shift_right", "NumericSeries", {"operand"}, 1, 1};
constexpr ParameterList kBitShiftLeft{"bit_shift_left", "NumericSeries", {"operand"}, 1, 1};
constexpr ParameterList kBitTest{"bit_test", "NumericSeries", {"index"}, 1, 1};

constexpr ParameterList kNumericAggregation{"NumericAggregation", "NumericSeries", {"input", "operator"}, 2, 2};
PyObject* numeric_aggregation(PyObject*, PyObject** bound) {
  model::AggregationBuilder input =
      convert_argument("input", [&] { return object_of_class<model::AggregationBuilder>(bound[0]); });
  model::NumericAggregationOperator operator_ =
      convert_argument("operator", [&] { return object_of_class<model::NumericAggregationOperator>(bound[1]); });
  return wrap(numeric_series_numeric_aggregation(std::move(input), std::move(operator_)));
}

constexpr ParameterList kDerivative{
    "derivative", "NumericSeries", {"time_unit", "negative_values_configuration"}, 2, 0};
PyObject* derivative(PyObject* self, PyObject** bound) {
  std::optional<TimeUnit> time_unit = convert_optional_argument("time_unit", bound[0], wrapped_time_unit);
  std::optional<model::NegativeValueConfiguration> configuration = convert_optional_argument(
      "negative_values_configuration", bound[1], object_of_class<model::NegativeValueConfiguration>);
  NumericSeries input = copy_receiver<NumericSeries>(self);
  return wrap(numeric_series_derivative(std::move(input), time_unit, std::move(configuration)));
}


constexpr ParameterList kNthPointDownsample{"nth_point_downsample", "NumericSeries", {"n"}, 1, 1};
constexpr ParameterList kLargestTriangleThreeBuckets{
    "largest_triangle_three_buckets", "NumericSeries", {"max_points_to_return"}, 1, 1};

constexpr ParameterList kValueDifference{"value_difference", "NumericSeries", {"negative_values_configuration"}, 1, 0};
PyObject* value_difference(PyObject* self, PyObject** bound) {
  std::optional<model::NegativeValueConfiguration> configuration = convert_optional_argument(
      "negative_values_configuration", bound[0], object_of_class<model::NegativeValueConfiguration>);
  NumericSeries input = copy_receiver<NumericSeries>(self);
  return wrap(numeric_series_value_difference(std::move(input), std::move(configuration)));
}

constexpr ParameterList kDropNan{"drop_nan", "NumericSeries", {}, 0, 0};
PyObject* drop_nan(PyObject* self) {
  return wrap(NumericSeries::dropNan(model::NumericNanFilter{copy_receiver<NumericSeries>(self)}));
}

constexpr ParameterList kUdf{"Udf", "NumericSeries", {"inputs", "source"}, 2, 2};
PyObject* udf(PyObject*, PyObject** bound) {
  std::vector<model::Series> inputs = convert_argument("inputs", [&] { return list_of(bound[0], wrapped_series); });
  model::UdfSource source = convert_argument("source", [&] { return object_of_class<model::UdfSource>(bound[1]); });
  return wrap(numeric_series_udf(std::move(inputs), std::move(source)));
}

constexpr ParameterList kSelectTags{"select_tags", "NumericSeries", {"tag_keys"}, 1, 1};
PyObject* select_tags(PyObject* self, PyObject** bound) {
  std::vector<model::StringConstant> tag_keys =
      convert_argument("tag_keys", [&] { return list_of(bound[0], string_constant_input); });
  NumericSeries input = copy_receiver<NumericSeries>(self);
  return wrap(numeric_series_select_tags(std::move(input), std::move(tag_keys)));
}

// to_start_of_interval and rolling_time: a window of time over the receiver.
template <auto Build>
PyObject* with_window(PyObject* self, PyObject** bound) {
  model::Duration window = convert_argument("window", [&] { return object_of_class<model::Duration>(bound[0]); });
  auto input = receiver_for(Build, self);
  return wrap(Build(std::move(input), std::move(window)));
}
constexpr ParameterList kToStartOfInterval{"to_start_of_interval", "NumericSeries", {"window"}, 1, 1};

constexpr ParameterList kTimeDifference{"time_difference", "NumericSeries", {"time_unit"}, 1, 0};
PyObject* time_difference(PyObject* self, PyObject** bound) {
  std::optional<TimeUnit> time_unit = convert_optional_argument("time_unit", bound[0], wrapped_time_unit);
  model::Series input = receiver_for(&numeric_series_time_difference, self);
  return wrap(numeric_series_time_difference(std::move(input), time_unit));
}

constexpr ParameterList kAbsoluteTimestamp{"absolute_timestamp", "NumericSeries", {"time_unit"}, 1, 1};
PyObject* absolute_timestamp(PyObject* self, PyObject** bound) {
  TimeUnit time_unit = convert_argument("time_unit", [&] { return wrapped_time_unit(bound[0]); });
  model::Series input = receiver_for(&numeric_series_absolute_timestamp, self);
  return wrap(numeric_series_absolute_timestamp(std::move(input), time_unit));
}

constexpr ParameterList kRustUdf{"RustUdf", "NumericSeries", {"inputs", "source_code"}, 2, 2};
PyObject* rust_udf(PyObject*, PyObject** bound) {
  std::vector<model::Series> inputs = convert_argument("inputs", [&] { return list_of(bound[0], wrapped_series); });
  std::string source_code = convert_argument("source_code", [&] { return text(bound[1]); });
  return wrap(numeric_series_scalar_udf_rust(std::move(inputs), std::move(source_code)));
}

constexpr ParameterList kRollingTime{"rolling_time", "NumericSeries", {"window"}, 1, 1};
constexpr ParameterList kRollingPoints{"rolling_points", "NumericSeries", {"points"}, 1, 1};

constexpr ParameterList kGroupBy{"group_by", "NumericSeries", {"tags", "timestamp"}, 2, 2};
PyObject* group_by(PyObject* self, PyObject** bound) {
  model::GroupByTags tags = convert_argument("tags", [&] { return object_of_class<model::GroupByTags>(bound[0]); });
  model::GroupByTimestamp timestamp =
      convert_argument("timestamp", [&] { return object_of_class<model::GroupByTimestamp>(bound[1]); });
  model::Series input = receiver_for(&aggregation_builder_group_by, self);
  return wrap(aggregation_builder_group_by(std::move(input), std::move(tags), std::move(timestamp)));
}

template <const ParameterList& P, NumericSeries (*Build)(std::vector<NumericSeries>)>
constexpr PyMethodDef list_factory() {
  return static_method<P, reduction<Build>>();
}
template <const ParameterList& P, auto Build>
constexpr PyMethodDef integer_constant_method() {
  return instance_method<P, with_integer_constant<P, Build>>();
}

#define UNARY_METHOD(name, Record) \
  instance_method_without_arguments<kUnary##Record, UnaryNode<model::Record, &NumericSeries::name>::of_receiver>(),

PyMethodDef methods[] = {
    VELTRIX_UNARY_VARIANTS(UNARY_METHOD)
    instance_method<kAtan2, atan2_method>(),
    list_factory<kMax, &veltrix_compute::max>(),
    list_factory<kMean, &veltrix_compute::mean>(),
    list_factory<kMin, &veltrix_compute::min>(),
    list_factory<kSum, &veltrix_compute::sum>(),
    list_factory<kProduct, &veltrix_compute::product>(),
    static_method<kConstant, constant>(),
    integer_constant_method<kTail, &numeric_series_tail>(),
    static_method<kSelectNumeric, select_numeric>(),
    integer_constant_method<kHead, &numeric_series_head>(),
    integer_constant_method<kBitAnd, &numeric_series_bit_and>(),
    integer_constant_method<kBitOr, &numeric_series_bit_or>(),
    integer_constant_method<kBitXor, &numeric_series_bit_xor>(),
    integer_constant_method<kBitShiftRight, &numeric_series_bit_shift_right>(),
    integer_constant_method<kBitShiftLeft, &numeric_series_bit_shift_left>(),
    integer_constant_method<kBitTest, &numeric_series_bit_test>(),
    static_method<kNumericAggregation, numeric_aggregation>(),
    instance_method<kDerivative, derivative>(),
    reference_factory<NumericSeries, &NumericSeries::raw>(),
    integer_constant_method<kNthPointDownsample, &numeric_series_nth_point_downsample>(),
    integer_constant_method<kLargestTriangleThreeBuckets, &numeric_series_largest_triangle_three_buckets>(),
    instance_method<kValueDifference, value_difference>(),
    instance_method_without_arguments<kDropNan, drop_nan>(),
    static_method<kUdf, udf>(),
    instance_method<kSelectTags, select_tags>(),
    instance_method<kToStartOfInterval, with_window<&numeric_series_to_start_of_interval>>(),
    instance_method<kTimeDifference, time_difference>(),
    instance_method<kAbsoluteTimestamp, absolute_timestamp>(),
    static_method<kRustUdf, rust_udf>(),
    instance_method<kRollingTime, with_window<&aggregation_builder_rolling_time>>(),
    integer_constant_method<kRollingPoints, &aggregation_builder_rolling_points>(),
    instance_method<kGroupBy, group_by>(),
    to_json_method<NumericSeries>(),
    kEndOfMethods,
};
static_assert(sizeof methods / sizeof methods[0] == 42 + 1);
#undef UNARY_METHOD

PyType_Slot slots[] = {
    {Py_tp_dealloc, reinterpret_cast<void*>(&free_wrapped<NumericSeries>)},
    {Py_tp_methods, methods},
    {Py_nb_negative, reinterpret_cast<void*>(&numeric_series_slots::negative)},
    {Py_nb_add, reinterpret_cast<void*>(&numeric_series_slots::add)},
    {Py_nb_subtract, reinterpret_cast<void*>(&numeric_series_slots::subtract)},
    {Py_nb_multiply, reinterpret_cast<void*>(&numeric_series_slots::multiply)},
    {Py_nb_remainder, reinterpret_cast<void*>(&numeric_series_slots::remainder)},
    {Py_nb_true_divide, reinterpret_cast<void*>(&numeric_series_slots::true_divide)},
    {Py_nb_floor_divide, reinterpret_cast<void*>(&numeric_series_slots::floor_divide)},
    {Py_nb_power, reinterpret_cast<void*>(&numeric_series_slots::power)},
    {0, nullptr},
};

}  // namespace

PyType_Spec numeric_series_spec = make_class_spec<NumericSeries>(slots);

}  // namespace veltrix_compute::python
