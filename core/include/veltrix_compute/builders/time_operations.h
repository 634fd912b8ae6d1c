// Builders of the NumericSeries nodes that depend on time. A library time unit is carried into
// the node as the API unit of the same name; an absent unit or configuration stays absent.
//
// Same contract as the numeric-series builders: arguments by value and moved in, no copies,
// no validation, no failure but std::bad_alloc.
#pragma once

#include <optional>

#include "model.h"
#include "veltrix_compute/builders/time_unit.h"

namespace veltrix_compute {

compute_api::NumericSeries numeric_series_derivative(
    compute_api::NumericSeries input, std::optional<TimeUnit> time_unit,
    std::optional<compute_api::NegativeValueConfiguration> negative_values_configuration);
// The time differences and absolute timestamps take a general Series (see series_from).
compute_api::NumericSeries numeric_series_time_difference(compute_api::Series input, std::optional<TimeUnit> time_unit);
compute_api::NumericSeries numeric_series_absolute_timestamp(compute_api::Series input, TimeUnit time_unit);
compute_api::NumericSeries numeric_series_value_difference(
    compute_api::NumericSeries input, std::optional<compute_api::NegativeValueConfiguration> negative_values_configuration);
compute_api::NumericSeries numeric_series_to_start_of_interval(compute_api::NumericSeries input,
                                                               compute_api::Duration window);

}  // namespace veltrix_compute
