#include "veltrix_compute/builders/numeric_series.h"

#include <utility>

#include "model_builders.h"

namespace veltrix_compute {

namespace model = compute_api;
using model::IntegerConstant;
using model::NumericSeries;

NumericSeries numeric_series_add(NumericSeries a, NumericSeries b) {
  return NumericSeries::add(model::Add{std::move(a), std::move(b)});
}
NumericSeries numeric_series_subtract(NumericSeries a, NumericSeries b) {
  return NumericSeries::subtract(model::Subtract{std::move(a), std::move(b)});
}
NumericSeries numeric_series_multiply(NumericSeries a, NumericSeries b) {
  return NumericSeries::multiply(model::Multiply{std::move(a), std::move(b)});
}
NumericSeries numeric_series_divide(NumericSeries a, NumericSeries b) {
  return NumericSeries::divide(model::Divide{std::move(a), std::move(b)});
}
NumericSeries numeric_series_floor_divide(NumericSeries a, NumericSeries b) {
  return NumericSeries::floorDivide(model::FloorDivide{std::move(a), std::move(b)});
}
NumericSeries numeric_series_modulo(NumericSeries a, NumericSeries b) {
  return NumericSeries::modulo(model::Modulo{std::move(a), std::move(b)});
}
NumericSeries numeric_series_power(NumericSeries a, NumericSeries b) {
  return NumericSeries::power(model::Power{std::move(a), std::move(b)});
}
NumericSeries atan2(NumericSeries y, NumericSeries x) {
  return NumericSeries::atan2(model::Atan2{std::move(y), std::move(x)});
}

NumericSeries max(std::vector<NumericSeries> inputs) {
  return NumericSeries::max(model::MaxSeries::builder().inputs(std::move(inputs)).build());
}
NumericSeries mean(std::vector<NumericSeries> inputs) {
  return NumericSeries::mean(model::MeanSeries::builder().inputs(std::move(inputs)).build());
}
NumericSeries min(std::vector<NumericSeries> inputs) {
  return NumericSeries::min(model::MinSeries::builder().inputs(std::move(inputs)).build());
}
NumericSeries sum(std::vector<NumericSeries> inputs) {
  return NumericSeries::sum(model::SumSeries::builder().inputs(std::move(inputs)).build());
}
NumericSeries product(std::vector<NumericSeries> inputs) {
  return NumericSeries::product(model::ProductSeries::builder().inputs(std::move(inputs)).build());
}

NumericSeries numeric_series_bit_and(NumericSeries input, IntegerConstant operand) {
  return NumericSeries::bitAnd(model::BitAnd{std::move(input), std::move(operand)});
}
NumericSeries numeric_series_bit_or(NumericSeries input, IntegerConstant operand) {
  return NumericSeries::bitOr(model::BitOr{std::move(input), std::move(operand)});
}
NumericSeries numeric_series_bit_xor(NumericSeries input, IntegerConstant operand) {
  return NumericSeries::bitXor(model::BitXor{std::move(input), std::move(operand)});
}
NumericSeries numeric_series_bit_shift_right(NumericSeries input, IntegerConstant operand) {
  return NumericSeries::bitShiftRight(model::BitShiftRight{std::move(input), std::move(operand)});
}
NumericSeries numeric_series_bit_shift_left(NumericSeries input, IntegerConstant operand) {
  return NumericSeries::bitShiftLeft(model::BitShiftLeft{std::move(input), std::move(operand)});
}
NumericSeries numeric_series_bit_test(NumericSeries input, IntegerConstant index) {
  return NumericSeries::bitTest(model::BitTest{std::move(input), std::move(index)});
}

NumericSeries numeric_series_head(NumericSeries input, IntegerConstant num_points) {
  return NumericSeries::selectOldestPoints(model::SelectOldestPointsSeries{std::move(input), std::move(num_points)});
}
NumericSeries numeric_series_tail(NumericSeries input, IntegerConstant num_points) {
  return NumericSeries::selectNewestPoints(model::SelectNewestPointsSeries{std::move(input), std::move(num_points)});
}
NumericSeries numeric_series_nth_point_downsample(NumericSeries input, IntegerConstant n) {
  return NumericSeries::nthPointDownsample(model::NumericNthPointDownsampleSeries{std::move(input), std::move(n)});
}
NumericSeries numeric_series_largest_triangle_three_buckets(NumericSeries input, IntegerConstant max_points_to_return) {
  return NumericSeries::largestTriangleThreeBuckets(
      model::NumericLargestTriangleThreeBucketsSeries{std::move(input), std::move(max_points_to_return)});
}

NumericSeries numeric_series_select_numeric(model::StringConstant name, std::optional<model::Dataset> dataset) {
  return NumericSeries::selectNumeric(model::SelectSeries::builder().name(std::move(name)).dataset(std::move(dataset)).build());
}

}  // namespace veltrix_compute
