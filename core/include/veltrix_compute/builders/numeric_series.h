// Builders of NumericSeries nodes: arithmetic, atan2, the multi-input operations, bit
// operations, point selection and the selection of a numeric column.
//
// Every builder takes its arguments by value and moves them into the new node: it never
// copies, validates or normalises them (no simplification, no flattening, no reordering), and
// its only failure is std::bad_alloc. A caller that must keep an argument passes a copy.
#pragma once

#include <optional>
#include <vector>

#include "model.h"

namespace veltrix_compute {

// Binary arithmetic: `a` is the left operand (the base of a power), `b` the right one.
compute_api::NumericSeries numeric_series_add(compute_api::NumericSeries a, compute_api::NumericSeries b);
compute_api::NumericSeries numeric_series_subtract(compute_api::NumericSeries a, compute_api::NumericSeries b);
compute_api::NumericSeries numeric_series_multiply(compute_api::NumericSeries a, compute_api::NumericSeries b);
compute_api::NumericSeries numeric_series_divide(compute_api::NumericSeries a, compute_api::NumericSeries b);
compute_api::NumericSeries numeric_series_floor_divide(compute_api::NumericSeries a, compute_api::NumericSeries b);
compute_api::NumericSeries numeric_series_modulo(compute_api::NumericSeries a, compute_api::NumericSeries b);
compute_api::NumericSeries numeric_series_power(compute_api::NumericSeries a, compute_api::NumericSeries b);
compute_api::NumericSeries atan2(compute_api::NumericSeries y, compute_api::NumericSeries x);

// Multi-input operations: `inputs` is kept as given (order, repeats, possibly empty) and no
// interpolation configuration is set. `max` and `min` share their names with std::max and
// std::min; call them qualified (veltrix_compute::max) outside this namespace.
compute_api::NumericSeries max(std::vector<compute_api::NumericSeries> inputs);
compute_api::NumericSeries mean(std::vector<compute_api::NumericSeries> inputs);
compute_api::NumericSeries min(std::vector<compute_api::NumericSeries> inputs);
compute_api::NumericSeries sum(std::vector<compute_api::NumericSeries> inputs);
compute_api::NumericSeries product(std::vector<compute_api::NumericSeries> inputs);

// Bit operations; the integer constant is stored as given, whatever its sign or size.
compute_api::NumericSeries numeric_series_bit_and(compute_api::NumericSeries input, compute_api::IntegerConstant operand);
compute_api::NumericSeries numeric_series_bit_or(compute_api::NumericSeries input, compute_api::IntegerConstant operand);
compute_api::NumericSeries numeric_series_bit_xor(compute_api::NumericSeries input, compute_api::IntegerConstant operand);
compute_api::NumericSeries numeric_series_bit_shift_right(compute_api::NumericSeries input, compute_api::IntegerConstant operand);
compute_api::NumericSeries numeric_series_bit_shift_left(compute_api::NumericSeries input, compute_api::IntegerConstant operand);
compute_api::NumericSeries numeric_series_bit_test(compute_api::NumericSeries input, compute_api::IntegerConstant index);

// Point selection: head keeps the oldest points, tail the newest.
compute_api::NumericSeries numeric_series_head(compute_api::NumericSeries input, compute_api::IntegerConstant num_points);
compute_api::NumericSeries numeric_series_tail(compute_api::NumericSeries input, compute_api::IntegerConstant num_points);
compute_api::NumericSeries numeric_series_nth_point_downsample(compute_api::NumericSeries input, compute_api::IntegerConstant n);
compute_api::NumericSeries numeric_series_largest_triangle_three_buckets(compute_api::NumericSeries input,
                                                                         compute_api::IntegerConstant max_points_to_return);

// The numeric column `name`, of `dataset` when one is given; dataFrame is never set.
compute_api::NumericSeries numeric_series_select_numeric(compute_api::StringConstant name,
                                                         std::optional<compute_api::Dataset> dataset);

}  // namespace veltrix_compute
