#include "veltrix_compute/builders/datasets_and_durations.h"

#include <utility>

#include "model_builders.h"

#include "veltrix_compute/string_constant_order.h"

namespace veltrix_compute {

namespace model = compute_api;
using model::Dataset;
using model::DoubleConstant;
using model::Duration;
using model::StringConstant;

Dataset dataset_tag(Dataset dataset, StringConstant key, StringConstant value) {
  return Dataset::tag(model::TaggedDataset{std::move(dataset), std::move(key), std::move(value)});
}
Dataset dataset_combine(std::vector<Dataset> inputs) {
  return Dataset::combine(model::CombinedDataset::builder().inputs(std::move(inputs)).build());
}
Dataset dataset_time_shift(Dataset dataset, Duration offset) {
  return Dataset::timeShift(model::TimeShiftedDataset{std::move(dataset), std::move(offset)});
}

Duration duration_add(Duration a, Duration b) { return Duration::add(model::DurationAdd{std::move(a), std::move(b)}); }
Duration duration_subtract(Duration a, Duration b) {
  return Duration::subtract(model::DurationSubtract{std::move(a), std::move(b)});
}

model::RangeMap range_map_create(StringConstant output, std::optional<DoubleConstant> start,
                                 std::optional<DoubleConstant> end) {
  return model::RangeMap::builder().output(std::move(output)).start(std::move(start)).end(std::move(end)).build();
}

model::EnumSeries categorical_series_value_map(model::NumericSeries input, std::vector<model::RangeMap> mapping,
                                               std::optional<StringConstant> default_) {
  return model::EnumSeries::valueMap(model::ValueMapSeries::builder().input(std::move(input)).mapping(std::move(mapping)).default_(std::move(default_)).build());
}

model::NumericSeries numeric_series_select_tags(model::NumericSeries input, std::vector<StringConstant> tag_keys) {
  return model::NumericSeries::selectTags(model::NumericSelectTagsSeries::builder().input(std::move(input)).tagKeys(make_tag_set(std::move(tag_keys))).build());
}

}  // namespace veltrix_compute
