// Helpers shared by the builder tests: a value's JSON text, the JSON of a union node, and a raw
// numeric series.
#pragma once

#include <string>
#include <utility>

#include "model.h"
#include "support/json_text.h"

namespace builder_tests {

namespace model = veltrix_compute::compute_api;

template <class T>
std::string json(const T& value) {
  return veltrix_compute::to_json_text(value).text;
}

// {"type":<variant>,<variant>:<payload>}
inline std::string node(const std::string& variant, const std::string& payload) {
  return R"({"type":")" + variant + R"(",")" + variant + R"(":)" + payload + "}";
}

inline model::NumericSeries raw(std::string name) { return model::NumericSeries::raw(model::Reference{std::move(name)}); }

}  // namespace builder_tests
