#include "veltrix_compute/builders/time_unit.h"

#include <array>
#include <string>
#include <string_view>
#include <utility>

#include "veltrix_compute/api_time_unit_reader.h"
#include "veltrix_compute/internal_failure.h"

namespace veltrix_compute {

namespace {

// In declaration order, so that the enumerator indexes the table. The API names the same units
// in upper case.
constexpr std::array<std::pair<TimeUnit, std::string_view>, 7> kUnits{{
    {TimeUnit::days, "days"},
    {TimeUnit::hours, "hours"},
    {TimeUnit::minutes, "minutes"},
    {TimeUnit::seconds, "seconds"},
    {TimeUnit::milliseconds, "milliseconds"},
    {TimeUnit::microseconds, "microseconds"},
    {TimeUnit::nanoseconds, "nanoseconds"},
}};

}  // namespace

TimeUnitParse time_unit_try_from(std::string text) {
  for (const auto& [unit, name] : kUnits) {
    if (text == name) return {unit, std::string()};
  }
  text.insert(0, "Invalid custom type: ");
  return {std::nullopt, std::move(text)};
}

api::TimeUnit to_api_time_unit(TimeUnit unit) {
  const auto index = static_cast<std::size_t>(unit);
  if (index >= kUnits.size()) throw InternalFailure("time unit out of range");
  // The JSON text of the API name: the quoted upper-case name.
  std::string api_json = "\"";
  for (char c : kUnits[index].second) api_json += static_cast<char>(c - 'a' + 'A');
  api_json += '"';
  ApiTimeUnitRead read = read_api_time_unit(api_json);
  if (!read.value) throw InternalFailure("enum variant string should deserialize");
  return std::move(*read.value);
}

std::optional<api::TimeUnit> to_api_time_unit(std::optional<TimeUnit> unit) {
  if (!unit) return std::nullopt;
  return to_api_time_unit(*unit);
}

}  // namespace veltrix_compute
