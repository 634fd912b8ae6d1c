// The library's own time unit: the argument type of the time-operation builders. Unlike the
// API enum api::TimeUnit it is closed (no unknown value) and has no JSON form.
#pragma once

#include <optional>
#include <string>

#include "model.h"

namespace veltrix_compute {

enum class TimeUnit { days, hours, minutes, seconds, milliseconds, microseconds, nanoseconds };

// Either a unit or, when the text names none, the message of the refusal.
struct TimeUnitParse {
  std::optional<TimeUnit> value;
  std::string error;
};

// The `TimeUnit::try_from` of the library (an enum class has no members, hence a free function).
// Accepts exactly the seven lower-case names, compared with the whole text; anything else,
// the empty text included, is refused with "Invalid custom type: " followed by the text as given.
TimeUnitParse time_unit_try_from(std::string text);

// The API unit of the same name, obtained through the API enum's own JSON reader so that both
// sides agree on the names. Throws InternalFailure if the reader ever refuses a name.
api::TimeUnit to_api_time_unit(TimeUnit unit);
std::optional<api::TimeUnit> to_api_time_unit(std::optional<TimeUnit> unit);

}  // namespace veltrix_compute
