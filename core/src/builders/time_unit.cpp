#include "veltrix_compute/builders/time_unit.h"

#include <array>
#include <string_view>
#include <utility>

#include "veltrix_compute/api_time_unit_reader.h"
#include "veltrix_compute/internal_failure.h"

namespace veltrix_compute {

namespace {

struct UnitNames {
  TimeUnit unit;
  std::string_view text;       // accepted by time_unit_try_from
  std::string_view api_json;   // JSON text of the API name, quotes included
};

constexpr std::array<UnitNames, 7> kUnits{{
    {TimeUnit::days, "days", "\"DAYS\""},
    {TimeUnit::hours, "hours", "\"HOURS\""},
    {TimeUnit::minutes, "minutes", "\"MINUTES\""},
    {TimeUnit::seconds, "seconds", "\"SECONDS\""},
    {TimeUnit::milliseconds, "milliseconds", "\"MILLISECONDS\""},
    {TimeUnit::microseconds, "microseconds", "\"MICROSECONDS\""},
    {TimeUnit::nanoseconds, "nanoseconds", "\"NANOSECONDS\""},
}};

}  // namespace

TimeUnitParse time_unit_try_from(std::string text) {
  for (const UnitNames& names : kUnits) {
    if (text == names.text) return {names.unit, std::string()};
  }
  text.insert(0, "Invalid custom type: ");
  return {std::nullopt, std::move(text)};
}

api::TimeUnit to_api_time_unit(TimeUnit unit) {
  // The table is in declaration order, so the enumerator indexes it.
  const auto index = static_cast<std::size_t>(unit);
  if (index >= kUnits.size()) throw InternalFailure("time unit out of range");
  ApiTimeUnitRead read = read_api_time_unit(kUnits[index].api_json);
  if (!read.value) throw InternalFailure("enum variant string should deserialize");
  return std::move(*read.value);
}

std::optional<api::TimeUnit> to_api_time_unit(std::optional<TimeUnit> unit) {
  if (!unit) return std::nullopt;
  return to_api_time_unit(*unit);
}

}  // namespace veltrix_compute
