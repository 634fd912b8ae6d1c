// The JSON text of a value, or the writer's refusal, for tests that compare texts.
#pragma once

#include <gtest/gtest.h>

#include <string>

#include "veltrix_compute/model_support.h"

namespace veltrix_compute {

// The JSON text of a value, or the writer's refusal.
struct JsonText {
  std::string text;
  const char* error = nullptr;  // static message when the writer refused the value
};

template <class T>
JsonText to_json_text(const T& value) {
  json::Buffer buffer;
  if (const char* refusal = write_json_into(buffer, value)) return {std::string(), refusal};
  return {std::string(buffer.view()), nullptr};
}

}  // namespace veltrix_compute

namespace veltrix_test {

// The text of a value that the writer must take (a test failure otherwise).
template <class T>
std::string json_of(const T& value) {
  const veltrix_compute::JsonText json = veltrix_compute::to_json_text(value);
  EXPECT_EQ(json.error, nullptr);
  return json.text;
}

}  // namespace veltrix_test
