// The fifteen classes: each Python object owns one object-model value from its creation until it
// is freed, and no operation changes that value.
//
// Layout of an object: the interpreter's header, the value, and a counter of shared borrows
// (every use of an object is a shared borrow; nothing ever borrows exclusively).
#pragma once

#include <atomic>
#include <cstdint>
#include <new>
#include <string_view>
#include <utility>

#include "binding/failure.h"
#include "binding/python_api.h"
#include "model.h"

namespace veltrix_compute::python {

namespace model = veltrix_compute::compute_api;

// The classes in the order in which the module adds them.
enum class ClassId {
  NumericSeries,
  CategoricalSeries,
  ConstantNumericSeries,
  IntegerConstant,
  StringConstant,
  Dataset,
  AggregationBuilder,
  NumericAggregationOperator,
  NegativeValueConfiguration,
  UdfSource,
  Duration,
  FloatConstant,
  GroupByTags,
  GroupByTimestamp,
  RangeMap,
  Count
};

// The class that wraps each value type (internally, class X is `WrappedX`).
template <class T>
struct ClassOf;
#define VELTRIX_CLASS_OF(Type, Class)                        \
  template <>                                                \
  struct ClassOf<Type> {                                     \
    static constexpr ClassId id = ClassId::Class;            \
    static constexpr std::string_view name = #Class;         \
  };
VELTRIX_CLASS_OF(model::NumericSeries, NumericSeries)
VELTRIX_CLASS_OF(model::EnumSeries, CategoricalSeries)
VELTRIX_CLASS_OF(model::ConstantNumericSeries, ConstantNumericSeries)
VELTRIX_CLASS_OF(model::IntegerConstant, IntegerConstant)
VELTRIX_CLASS_OF(model::StringConstant, StringConstant)
VELTRIX_CLASS_OF(model::Dataset, Dataset)
VELTRIX_CLASS_OF(model::AggregationBuilder, AggregationBuilder)
VELTRIX_CLASS_OF(model::NumericAggregationOperator, NumericAggregationOperator)
VELTRIX_CLASS_OF(model::NegativeValueConfiguration, NegativeValueConfiguration)
VELTRIX_CLASS_OF(model::UdfSource, UdfSource)
VELTRIX_CLASS_OF(model::Duration, Duration)
VELTRIX_CLASS_OF(model::DoubleConstant, FloatConstant)
VELTRIX_CLASS_OF(model::GroupByTags, GroupByTags)
VELTRIX_CLASS_OF(model::GroupByTimestamp, GroupByTimestamp)
VELTRIX_CLASS_OF(model::RangeMap, RangeMap)
#undef VELTRIX_CLASS_OF

// The class object, built from its PyType_Spec on first use and kept for the life of the
// process. Returns a borrowed reference; throws PythonError if the interpreter refuses the class.
PyTypeObject* class_object(ClassId id);
// The Python name of a class, e.g. "NumericSeries".
const char* class_name(ClassId id);

template <class T>
struct Wrapped {
  PyObject_HEAD
  T value;
  std::atomic<std::uint32_t> borrows;
};

// A shared borrow of an object for as long as it lives.
template <class T>
class SharedBorrow {
 public:
  explicit SharedBorrow(PyObject* object) noexcept : object_(reinterpret_cast<Wrapped<T>*>(object)) {
    object_->borrows.fetch_add(1, std::memory_order_relaxed);
  }
  SharedBorrow(const SharedBorrow&) = delete;
  SharedBorrow& operator=(const SharedBorrow&) = delete;
  ~SharedBorrow() { object_->borrows.fetch_sub(1, std::memory_order_release); }
  const T& value() const noexcept { return object_->value; }

 private:
  Wrapped<T>* object_;
};

template <class T>
bool is_instance(PyObject* object) {
  PyTypeObject* type = class_object(ClassOf<T>::id);
  return Py_TYPE(object) == type || PyType_IsSubtype(Py_TYPE(object), type);
}

// A deep copy of the value of an object already known to be of T's class, taken under a shared
// borrow. Any depth is fine on any thread: the copy nests no call per level.
template <class T>
T copy_held_value(PyObject* object) {
  SharedBorrow<T> borrow(object);
  return T(borrow.value());
}

// Class extraction: a deep copy of the value of an object of T's class, or the not-an-instance
// TypeError. The receiver of an instance method is copied the same way (the interpreter's method
// descriptors check its class first, so failing here is rare).
template <class T>
T copy_value_of(PyObject* object) {
  if (!is_instance<T>(object)) raise_not_an_instance(object, ClassOf<T>::name);
  return copy_held_value<T>(object);
}
template <class T>
T copy_receiver(PyObject* self) {
  return copy_value_of<T>(self);
}

// A new object of `type` (T's class, or the class a constructor was called for) owning `value`.
template <class T>
PyObject* wrap_as(PyTypeObject* type, T&& value) {
  auto allocate = reinterpret_cast<allocfunc>(PyType_GetSlot(type, Py_tp_alloc));
  PyObject* object = check(allocate(type, 0));
  auto* wrapped = reinterpret_cast<Wrapped<T>*>(object);
  new (&wrapped->value) T(std::move(value));
  new (&wrapped->borrows) std::atomic<std::uint32_t>(0);
  return object;
}

// A new object of T's class owning `value`.
template <class T>
PyObject* wrap(T&& value) {
  return wrap_as(class_object(ClassOf<T>::id), std::move(value));
}

template <class T>
void free_wrapped(PyObject* object) noexcept {
  auto* wrapped = reinterpret_cast<Wrapped<T>*>(object);
  wrapped->value.~T();
  PyTypeObject* type = Py_TYPE(object);
  auto free = reinterpret_cast<freefunc>(PyType_GetSlot(type, Py_tp_free));
  free(object);
  // Instances of heap types hold a reference to their type.
  Py_DECREF(type);
}

// to_json: the receiver's JSON text as a str; the writer's refusal as ValueError.
template <class T>
PyObject* to_json(PyObject* self) {
  if (!is_instance<T>(self)) raise_not_an_instance(self, ClassOf<T>::name);
  SharedBorrow<T> borrow(self);
  json::Buffer buffer;
  if (const char* refusal = write_json_into(buffer, borrow.value())) raise(PyExc_ValueError, refusal);
  return check(PyUnicode_FromStringAndSize(buffer.data(), static_cast<Py_ssize_t>(buffer.size())));
}

}  // namespace veltrix_compute::python
