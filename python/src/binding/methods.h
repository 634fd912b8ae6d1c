// Method tables, one row per method.
//
// A row holds the method's text signature, as Python shows it, and its body:
//
//   Rows::method<"head($self, num_points)", &numeric_series_head>()
//
// The signature gives the name, the parameters (one written "=None" is optional, and the
// required ones come first) and whether there is a receiver ("$self"): an instance method, else
// a static factory (or, in the module's table, a module function). It becomes the docstring
// ("head($self, num_points)\n--\n\n"), and the class in the messages is the table's own.
//
// The body is a plain C++ function that receives the receiver's copy and the converted
// arguments in signature order, and returns the new value, whose type chooses the class of the
// result. The C++ type of each of its parameters chooses the conversion (from_python.h). The
// entry around the body, which the interpreter calls, does the rest in this order: binds the
// arguments, checks the receiver, converts each argument, copies the receiver, resolves the
// integer constants, calls the body and wraps its result.
#pragma once

#include <array>
#include <cstddef>
#include <optional>
#include <tuple>
#include <type_traits>
#include <utility>

#include "binding/arguments.h"
#include "binding/failure.h"
#include "binding/python_api.h"
#include "binding/wrapped.h"
#include "conversions/from_python.h"
#include "veltrix_compute/builders/aggregation.h"
#include "veltrix_compute/json_writer.h"

namespace veltrix_compute::python {

// A text signature, parsed when the module is compiled: "name($self, a, b=None)".
template <std::size_t N>
struct Signature {
  char text[N]{};   // as written
  char names[N]{};  // the same, with a '\0' after the name and after each parameter's name
  std::size_t parameter_at[kMaxParameters]{};
  int count = 0;
  int required = 0;
  bool with_self = false;

  // A malformed signature stops the compilation at the `throw`.
  consteval Signature(const char (&written)[N]) {
    for (std::size_t i = 0; i < N; ++i) text[i] = names[i] = written[i];
    std::size_t at = 0;
    while (at + 1 < N && written[at] != '(') ++at;
    if (at == 0 || at + 1 >= N) throw "a signature is name(parameters)";
    names[at++] = '\0';
    bool optional_seen = false;
    for (bool first = true; written[at] != ')'; first = false) {
      const std::size_t start = at;
      while (at + 1 < N && written[at] != ',' && written[at] != ')') ++at;
      if (at + 1 >= N || at == start) throw "parameters are names separated by ', ', then ')'";
      if (written_as(written, start, at, "$self")) {
        if (!first) throw "$self comes first";
        with_self = true;
      } else {
        std::size_t end = at;
        if (at - start > 5 && written_as(written, at - 5, at, "=None")) {
          end = at - 5;
          optional_seen = true;
        } else if (optional_seen) {
          throw "the required parameters come first";
        } else {
          ++required;
        }
        if (count == static_cast<int>(kMaxParameters)) throw "too many parameters";
        names[end] = '\0';
        parameter_at[count++] = start;
      }
      if (written[at] == ',') {
        if (written[at + 1] != ' ') throw "parameters are separated by ', '";
        at += 2;
      }
    }
    if (at + 2 != N) throw "nothing follows ')'";
  }

  constexpr const char* function() const { return names; }
  constexpr const char* parameter(int i) const { return names + parameter_at[i]; }

 private:
  static constexpr bool written_as(const char (&written)[N], std::size_t from, std::size_t to, const char* word) {
    for (std::size_t i = from; i < to; ++i, ++word) {
      if (*word != written[i]) return false;
    }
    return *word == '\0';
  }
};

namespace detail {

// "name(...)\n--\n\n": the docstring from which the interpreter reads the signature.
template <auto S>
inline constexpr auto kDocstring = [] {
  constexpr std::string_view suffix = "\n--\n\n";
  std::array<char, sizeof(S.text) + suffix.size()> doc{};
  std::size_t at = 0;
  for (std::size_t i = 0; i + 1 < sizeof(S.text); ++i) doc[at++] = S.text[i];
  for (char c : suffix) doc[at++] = c;
  return doc;
}();

template <class Owner>
constexpr const char* class_name_of() {
  if constexpr (std::is_void_v<Owner>) {
    return nullptr;  // a module function
  } else {
    return ClassOf<Owner>::name.data();
  }
}

template <class Owner, auto S>
constexpr ParameterList parameters_named(const char* function) {
  ParameterList parameters{function, class_name_of<Owner>(), {}, S.count, S.required};
  for (int i = 0; i < S.count; ++i) parameters.names[i] = S.parameter(i);
  return parameters;
}

template <class F>
struct BodyOf;
template <class R, class... A>
struct BodyOf<R (*)(A...)> {
  using Result = R;
  using Parameters = std::tuple<std::remove_cvref_t<A>...>;
};
template <class R, class... A>
struct BodyOf<R (*)(A...) noexcept> : BodyOf<R (*)(A...)> {};

// A parameter written "=None" is a std::optional of the value it converts to.
template <class T>
struct Parameter {
  static constexpr bool optional = false;
  using Value = T;
};
template <class T>
struct Parameter<std::optional<T>> {
  static constexpr bool optional = true;
  using Value = T;
};

// The receiver in the form the body takes: its copy, or for the bodies that accept any kind of
// series (the core's builders over a Series), that copy as a Series.
template <class Form, class Owner>
Form receiver_as(Owner&& copy) {
  if constexpr (std::is_same_v<Form, Owner>) {
    return std::move(copy);
  } else {
    static_assert(std::is_same_v<Form, model::Series> && std::is_same_v<Owner, model::NumericSeries>,
                  "a body takes the receiver as its class's value (or a NumericSeries as a Series)");
    return series_from(std::move(copy));
  }
}

// The call of one row's body: `self` is the receiver (unused without "$self"), `bound` the bound
// arguments, and `make_object` turns the body's result into the new object.
template <class Owner, auto S, auto Body>
struct Call {
  using Traits = BodyOf<decltype(Body)>;
  static constexpr std::size_t kReceivers = S.with_self ? 1 : 0;
  static_assert(std::tuple_size_v<typename Traits::Parameters> == kReceivers + S.count,
                "the body takes the receiver (with $self), then one value per parameter");
  static_assert(HasClass<typename Traits::Result>, "the body returns the value of one of the module's classes");

  template <std::size_t I>
  using ParameterType = std::tuple_element_t<kReceivers + I, typename Traits::Parameters>;
  // Where argument I is kept from its conversion until the call (empty: not given, or refused).
  template <std::size_t I>
  using Slot = std::optional<typename Held<typename Parameter<ParameterType<I>>::Value>::type>;

  template <std::size_t I>
  static bool convert(PyObject* argument, Slot<I>& slot) {
    static_assert(Parameter<ParameterType<I>>::optional == (static_cast<int>(I) >= S.required),
                  "a parameter written =None, and only such a one, takes a std::optional");
    if (Parameter<ParameterType<I>>::optional && is_absent(argument)) return true;
    return from_python(argument, slot, Refusal::of_argument(S.parameter(static_cast<int>(I))));
  }

  template <std::size_t I>
  static ParameterType<I> take(Slot<I>& slot) {
    if constexpr (Parameter<ParameterType<I>>::optional) {
      if (!slot) return std::nullopt;
    }
    return resolve(std::move(*slot));
  }

  template <class MakeObject, std::size_t... I>
  static PyObject* run(PyObject* self, PyObject* const* bound, MakeObject make_object, std::index_sequence<I...>) {
    if constexpr (S.with_self) {
      if (!of_class<Owner>(self, Refusal::of_receiver())) return nullptr;
    }
    std::tuple<Slot<I>...> slots;
    if (!(convert<I>(bound[I], std::get<I>(slots)) && ...)) return nullptr;
    if (!(resolvable(std::get<I>(slots)) && ...)) return nullptr;
    if constexpr (S.with_self) {
      using Form = std::tuple_element_t<0, typename Traits::Parameters>;
      Form receiver = receiver_as<Form>(copy_held_value<Owner>(self));
      return make_object(Body(std::move(receiver), take<I>(std::get<I>(slots))...));
    } else {
      return make_object(Body(take<I>(std::get<I>(slots))...));
    }
  }

  static PyObject* run(PyObject* self, PyObject* const* bound) {
    return run(self, bound, [](auto&& value) { return wrap(std::move(value)); },
               std::make_index_sequence<static_cast<std::size_t>(S.count)>());
  }
};

template <class Owner, auto S, auto Body>
PyObject* fastcall_entry(PyObject* self, PyObject* const* args, Py_ssize_t count, PyObject* keyword_names) {
  static constexpr ParameterList kParameters = parameters_named<Owner, S>(S.function());
  return guarded([&]() -> PyObject* {
    PyObject* bound[kMaxParameters] = {};
    if (!bind_arguments(kParameters, args, count, keyword_names, bound)) return nullptr;
    return Call<Owner, S, Body>::run(self, bound);
  });
}

// Without parameters the interpreter itself refuses any argument.
template <class Owner, auto S, auto Body>
PyObject* no_arguments_entry(PyObject* self, PyObject*) {
  return guarded([&] { return Call<Owner, S, Body>::run(self, nullptr); });
}

// to_json, the same for every class: the receiver's JSON text as a str (its value is not copied);
// the writer's refusal as ValueError.
template <class T>
PyObject* to_json(PyObject* self, PyObject*) {
  return guarded([&]() -> PyObject* {
    if (!of_class<T>(self, Refusal::of_receiver())) return nullptr;
    SharedBorrow<T> borrow(self);
    json::Buffer buffer;
    if (const char* refusal = write_json_into(buffer, borrow.value())) {
      set_error(PyExc_ValueError, refusal);
      return nullptr;
    }
    // The stable ABI builds a str only by decoding a copy of the UTF-8 text; the full API would
    // size a str once (PyUnicode_New) and let the writer fill it in place.
    return check(PyUnicode_FromStringAndSize(buffer.data(), static_cast<Py_ssize_t>(buffer.size())));
  });
}

}  // namespace detail

// The rows of the method table of Owner's class (Owner = void: the module's functions).
template <class Owner>
struct MethodsOf {
  template <Signature S, auto Body>
  static PyMethodDef method() {
    static_assert(!(std::is_void_v<Owner> && S.with_self), "a module function has no receiver");
    const int binding = !S.with_self && !std::is_void_v<Owner> ? METH_STATIC : 0;
    if constexpr (S.count == 0) {
      return {S.function(), &detail::no_arguments_entry<Owner, S, Body>, METH_NOARGS | binding,
              detail::kDocstring<S>.data()};
    } else {
      return {S.function(),
              reinterpret_cast<PyCFunction>(reinterpret_cast<void (*)()>(&detail::fastcall_entry<Owner, S, Body>)),
              METH_FASTCALL | METH_KEYWORDS | binding, detail::kDocstring<S>.data()};
    }
  }

  // The method table: the rows, then to_json (every class has it), then the end. The module's
  // functions have no to_json.
  template <class... Rows>
  static auto table(Rows... rows) {
    constexpr PyMethodDef end{nullptr, nullptr, 0, nullptr};
    if constexpr (std::is_void_v<Owner>) {
      return std::array<PyMethodDef, sizeof...(Rows) + 1>{rows..., end};
    } else {
      const PyMethodDef to_json{"to_json", &detail::to_json<Owner>, METH_NOARGS, detail::kDocstring<kToJson>.data()};
      return std::array<PyMethodDef, sizeof...(Rows) + 2>{rows..., to_json, end};
    }
  }

  // The slots of a class made by calling it: "Name(a, b=None)" (Name is the class's), bound as
  // __new__ so that binding failures read "Name.__new__() ...".
  template <Signature S, auto Body>
  static std::array<PyType_Slot, 2> constructor() {
    static_assert(!S.with_self, "a constructor has no receiver");
    return {{{Py_tp_new, reinterpret_cast<void*>(&construct<S, Body>)},
             {Py_tp_doc, const_cast<char*>(detail::kDocstring<S>.data())}}};
  }

 private:
  static constexpr Signature kToJson{"to_json($self)"};

  template <Signature S, auto Body>
  static PyObject* construct(PyTypeObject* type, PyObject* args, PyObject* keywords) {
    static constexpr ParameterList kParameters = detail::parameters_named<Owner, S>("__new__");
    return guarded([&]() -> PyObject* {
      PyObject* bound[kMaxParameters] = {};
      if (!bind_arguments(kParameters, args, keywords, bound)) return nullptr;
      return detail::Call<Owner, S, Body>::run(
          nullptr, bound, [type](auto&& value) { return wrap_as(type, std::move(value)); },
          std::make_index_sequence<static_cast<std::size_t>(S.count)>());
    });
  }
};

}  // namespace veltrix_compute::python
