// Reads an API `TimeUnit` from JSON text: one of the seven names as a string or as the single
// member of an object whose value is null, or else any valid variant text as an unknown value.
#pragma once

#include <optional>
#include <string>
#include <string_view>

#include "model.h"

namespace veltrix_compute {

struct ApiTimeUnitRead {
  std::optional<api::TimeUnit> value;
  std::string error;  // set when `value` is empty: what was wrong and where
};

ApiTimeUnitRead read_api_time_unit(std::string_view json_text);

}  // namespace veltrix_compute
