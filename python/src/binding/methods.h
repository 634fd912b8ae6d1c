// Method tables. Each method is a small body that receives the bound arguments; the entry point
// around it binds, guards against every failure, and is what the interpreter calls. Text
// signatures ("head($self, num_points)\n--\n\n") are derived from the parameter lists, so a
// method's parameters are written once.
#pragma once

#include <array>
#include <cstddef>

#include "binding/arguments.h"
#include "binding/failure.h"
#include "binding/python_api.h"

namespace veltrix_compute::python {

using MethodBody = PyObject* (*)(PyObject* self, PyObject** bound);
using NoArgumentsBody = PyObject* (*)(PyObject* self);

namespace detail {

constexpr std::size_t length(const char* text) {
  std::size_t n = 0;
  while (text[n] != '\0') ++n;
  return n;
}

constexpr std::size_t signature_length(const ParameterList& p, bool with_self) {
  std::size_t n = length(p.function) + 1;  // "name("
  if (with_self) n += 5 + (p.count > 0 ? 2 : 0);  // "$self, "
  for (int i = 0; i < p.count; ++i) n += length(p.names[i]) + (i > 0 ? 2 : 0) + (i >= p.required ? 5 : 0);
  return n + 6;  // ")\n--\n\n"
}

template <const ParameterList& P, bool WithSelf>
constexpr auto make_signature() {
  std::array<char, signature_length(P, WithSelf) + 1> text{};
  std::size_t at = 0;
  auto put = [&](const char* part) {
    for (std::size_t i = 0; part[i] != '\0'; ++i) text[at++] = part[i];
  };
  put(P.function);
  put("(");
  if (WithSelf) put(P.count > 0 ? "$self, " : "$self");
  for (int i = 0; i < P.count; ++i) {
    if (i > 0) put(", ");
    put(P.names[i]);
    if (i >= P.required) put("=None");
  }
  put(")\n--\n\n");
  return text;
}

template <const ParameterList& P, bool WithSelf>
inline constexpr auto kSignature = make_signature<P, WithSelf>();

template <const ParameterList& P, MethodBody Body>
PyObject* fastcall_entry(PyObject* self, PyObject* const* args, Py_ssize_t count, PyObject* keyword_names) {
  return guarded([&] {
    PyObject* bound[kMaxParameters] = {};
    bind_arguments(P, args, count, keyword_names, bound);
    return Body(self, bound);
  });
}

template <NoArgumentsBody Body>
PyObject* no_arguments_entry(PyObject* self, PyObject*) {
  return guarded([&] { return Body(self); });
}

template <const ParameterList& P, MethodBody Body, int Flags, bool WithSelf>
constexpr PyMethodDef fastcall_method() {
  return {P.function, reinterpret_cast<PyCFunction>(reinterpret_cast<void (*)()>(&fastcall_entry<P, Body>)),
          METH_FASTCALL | METH_KEYWORDS | Flags, kSignature<P, WithSelf>.data()};
}

}  // namespace detail

// An instance method with parameters: "name($self, a, b=None)".
template <const ParameterList& P, MethodBody Body>
constexpr PyMethodDef instance_method() {
  return detail::fastcall_method<P, Body, 0, true>();
}

// A static factory with parameters: "Name(a, b=None)". Module functions have the same form,
// without METH_STATIC.
template <const ParameterList& P, MethodBody Body>
constexpr PyMethodDef static_method() {
  return detail::fastcall_method<P, Body, METH_STATIC, false>();
}
template <const ParameterList& P, MethodBody Body>
constexpr PyMethodDef module_function() {
  return detail::fastcall_method<P, Body, 0, false>();
}

// Methods without parameters: the interpreter itself refuses any argument.
template <const ParameterList& P, NoArgumentsBody Body>
constexpr PyMethodDef instance_method_without_arguments() {
  return {P.function, &detail::no_arguments_entry<Body>, METH_NOARGS, detail::kSignature<P, true>.data()};
}
template <const ParameterList& P, NoArgumentsBody Body>
constexpr PyMethodDef static_method_without_arguments() {
  return {P.function, &detail::no_arguments_entry<Body>, METH_NOARGS | METH_STATIC, detail::kSignature<P, false>.data()};
}

inline constexpr PyMethodDef kEndOfMethods = {nullptr, nullptr, 0, nullptr};

}  // namespace veltrix_compute::python
