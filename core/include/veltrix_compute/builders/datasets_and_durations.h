// Builders of datasets, compute durations, range maps, the categorical value map and the tag
// selection of a numeric series.
//
// Same contract as the numeric-series builders: arguments by value and moved in, no copies,
// no validation, no failure but std::bad_alloc.
#pragma once

#include <optional>
#include <vector>

#include "model.h"

namespace veltrix_compute {

compute_api::Dataset dataset_tag(compute_api::Dataset dataset, compute_api::StringConstant key,
                                 compute_api::StringConstant value);
// `inputs` is kept as given: order, repeats, possibly empty.
compute_api::Dataset dataset_combine(std::vector<compute_api::Dataset> inputs);
compute_api::Dataset dataset_time_shift(compute_api::Dataset dataset, compute_api::Duration offset);

// `a` is the left operand, `b` the right one.
compute_api::Duration duration_add(compute_api::Duration a, compute_api::Duration b);
compute_api::Duration duration_subtract(compute_api::Duration a, compute_api::Duration b);

// The label comes first although JSON writes it last. Neither bound is required, and the
// bounds are not checked against each other.
compute_api::RangeMap range_map_create(compute_api::StringConstant output,
                                       std::optional<compute_api::DoubleConstant> start,
                                       std::optional<compute_api::DoubleConstant> end);
// The ranges are kept as given: not sorted, merged or checked for overlap.
compute_api::EnumSeries categorical_series_value_map(compute_api::NumericSeries input,
                                                     std::vector<compute_api::RangeMap> mapping,
                                                     std::optional<compute_api::StringConstant> default_);
// The tag keys become a tag set: sorted, repeats dropped.
compute_api::NumericSeries numeric_series_select_tags(compute_api::NumericSeries input,
                                                      std::vector<compute_api::StringConstant> tag_keys);

}  // namespace veltrix_compute
