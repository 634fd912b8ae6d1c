#include "veltrix_compute/builders/time_operations.h"

#include <utility>

#include "model_builders.h"

namespace veltrix_compute {

namespace model = compute_api;
using model::NegativeValueConfiguration;
using model::NumericSeries;

NumericSeries numeric_series_derivative(NumericSeries input, std::optional<TimeUnit> time_unit,
                                        std::optional<NegativeValueConfiguration> negative_values_configuration) {
  return NumericSeries::derivative(
      model::DerivativeSeries::builder()
          .input(std::move(input))
          .timeUnit(to_api_time_unit(time_unit))
          .negativeValuesConfiguration(std::move(negative_values_configuration))
          .build());
}

NumericSeries numeric_series_time_difference(model::Series input, std::optional<TimeUnit> time_unit) {
  return NumericSeries::timeDifference(model::TimeDifferenceSeries{std::move(input), to_api_time_unit(time_unit)});
}

NumericSeries numeric_series_absolute_timestamp(model::Series input, TimeUnit time_unit) {
  return NumericSeries::absoluteTimestamp(model::AbsoluteTimestampSeries{std::move(input), to_api_time_unit(time_unit)});
}

NumericSeries numeric_series_value_difference(NumericSeries input,
                                              std::optional<NegativeValueConfiguration> negative_values_configuration) {
  return NumericSeries::valueDifference(
      model::ValueDifferenceSeries::builder()
          .input(std::move(input))
          .negativeValuesConfiguration(std::move(negative_values_configuration))
          .build());
}

NumericSeries numeric_series_to_start_of_interval(NumericSeries input, model::Duration window) {
  return NumericSeries::toStartOfInterval(model::NumericToStartOfIntervalSeries{std::move(input), std::move(window)});
}

}  // namespace veltrix_compute
