// How a conversion reports a value it refuses.
//
// A conversion returns false for a refused value and leaves the reporting to its Refusal, which
// builds the message out of line, once, and only when the call has really failed. A method's
// argument is reported as a TypeError that names the parameter; an operator's operand is refused
// without any text, so that the operator can answer NotImplemented.
#pragma once

#include <string_view>

#include "binding/python_api.h"

namespace veltrix_compute::python {

class Refusal {
 public:
  // A method's argument: the exception is set, and a TypeError of ours or of the interpreter
  // (exactly TypeError, not a subclass) is opened by "argument '<parameter>': ".
  static constexpr Refusal of_argument(const char* parameter) noexcept { return Refusal(Kind::argument, parameter); }
  // A method's receiver: the exception is set, its text not prefixed.
  static constexpr Refusal of_receiver() noexcept { return Refusal(Kind::receiver, nullptr); }
  // An operator's operand: nothing is set. Only a PanicException that Python code let through is
  // still raised (as for an argument), since NotImplemented would hide it.
  static constexpr Refusal of_operand() noexcept { return Refusal(Kind::operand, nullptr); }

  bool quiet() const noexcept { return kind_ == Kind::operand; }

  // Each of these reports the refusal and returns false, so that a conversion can end with
  // `return refusal.xxx(...)`.

  // "'<type>' object is not an instance of '<target>'".
  bool not_an_instance(PyObject* object, std::string_view target) const;
  // A TypeError of ours with a fixed text.
  bool because(std::string_view message) const;
  // The interpreter's exception, pending: passed on, a TypeError prefixed with the parameter.
  bool pending() const;
  // Both alternatives of a two-alternative input type refused `object`: `Wrapped` because it is
  // not of `class_name`, `Native0` with the interpreter's exception, pending. Sets the
  // "failed to extract enum <input_type> ..." TypeError.
  bool both_alternatives(const char* input_type, std::string_view class_name, PyObject* object) const;

 private:
  enum class Kind { argument, receiver, operand };
  constexpr Refusal(Kind kind, const char* parameter) noexcept : kind_(kind), parameter_(parameter) {}
  void type_error(std::string_view message) const;

  Kind kind_;
  const char* parameter_;
};

// A PanicException that Python code let through (from a __str__ or __float__ a conversion
// called) is not a refused value: it is reported with its traceback and raised again as an
// internal failure with the same message. Returns whether the pending exception was one.
bool reraise_panic_from_python();

}  // namespace veltrix_compute::python
