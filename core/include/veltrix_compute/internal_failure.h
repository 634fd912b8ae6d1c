// The core's exception for a broken invariant: a state that correct code can never reach.
// Nothing in the core catches it; the Python module turns it into its internal-failure
// exception (PanicException), so a bug surfaces loudly instead of as a wrong result.
#pragma once

#include <exception>
#include <string>
#include <utility>

namespace veltrix_compute {

class InternalFailure : public std::exception {
 public:
  explicit InternalFailure(std::string message) : message_(std::move(message)) {}
  const char* what() const noexcept override { return message_.c_str(); }

 private:
  std::string message_;
};

}  // namespace veltrix_compute
