// Hand-written building blocks of the generated object model (model.h).
//
// Conventions every generated type follows:
// - Records are plain structs whose members are named exactly like their JSON keys; a name that
//   is a C++ keyword or a standard macro gets a trailing underscore (`not_`, `default_`,
//   `INFINITY_`). Optional fields are std::optional, lists std::vector, sets OrderedSet, maps
//   OrderedMap. Records hold their record and union children by value.
// - A union is a 16-byte handle whose payload, unless it is a double, an integer or a boolean,
//   lives in a heap cell of its own (model/union_handle.h). Moving a union moves the pointer;
//   copying copies the whole tree.
// - Variants are reached by name (`as_add()`), never by payload type, since several variants
//   may share one payload type.
// - Generated code is only what must be typed: the types, their factories and accessors, the
//   staged builders, and one table per type (model/type_info.h). Copying, writing and freeing are
//   done once, by the engine (model/engine.h), for every type, at any depth, on any thread.
#pragma once

#include <string>
#include <string_view>

#include "veltrix_compute/json_writer.h"
#include "veltrix_compute/model/containers.h"
#include "veltrix_compute/model/engine.h"
#include "veltrix_compute/model/type_info.h"
#include "veltrix_compute/model/union_handle.h"

namespace veltrix_compute {

namespace detail {
// The base of every generated union class `Union`, which lists its `Kind`s and `kVariantNames`:
// copy and free through the engine, and what every union has besides its own variants. A
// default-constructed union is empty (see UnionHandle).
template <class Union>
class UnionBase : public UnionHandle {
 public:
  auto kind() const noexcept { return static_cast<typename Union::Kind>(kind_index()); }
  static Union unknown(UnknownVariant payload) { return make(unknown_kind(), Slot{make_cell(std::move(payload))}); }
  // The variant's JSON name, or the stored name of an Unknown variant; empty for an empty union
  // (moved from), which holds no variant.
  std::string_view variant_name() const noexcept {
    const bool in_cell = kind_index() == unknown_kind() ||
                         TypeOf<Union>::info.union_().variants[kind_index()].placement == Placement::cell;
    if (in_cell && slot().cell == nullptr) return {};
    return kind_index() == unknown_kind() ? std::string_view(as_unknown().name) : Union::kVariantNames[kind_index()];
  }
  const UnknownVariant& as_unknown() const noexcept { return payload<UnknownVariant>(); }

 protected:
  static constexpr std::uint8_t unknown_kind() noexcept { return static_cast<std::uint8_t>(Union::Kind::Unknown); }
  template <class Kind>
  static Union make(Kind kind, Slot slot) noexcept {
    Union made;
    made.UnionHandle::operator=(UnionHandle(static_cast<std::uint8_t>(kind), slot));
    return made;
  }
  UnionBase() noexcept = default;
  UnionBase(const UnionBase& other) : UnionHandle() {
    Engine::copy_union(*this, other, TypeOf<Union>::info);
  }
  UnionBase(UnionBase&&) noexcept = default;
  UnionBase& operator=(const UnionBase& other) {
    UnionBase copy(other);
    UnionHandle::operator=(std::move(copy));
    return *this;
  }
  // Takes `other`'s tree, then frees the old one, which may hold `other` (as in `a = std::move(a's
  // child)`): a swap would leave the old tree owned by a handle inside itself.
  UnionBase& operator=(UnionBase&& other) noexcept {
    if (this != &other) {
      UnionBase old(std::move(*this));
      UnionHandle::operator=(std::move(other));
    }
    return *this;
  }
  ~UnionBase() {
    if (slot().cell != nullptr) Engine::free_union(*this, TypeOf<Union>::info.union_());
  }
};

template <class T>
concept Modelled = requires { TypeOf<T>::info; };
}  // namespace detail

namespace json {
// Any value of the model, containers included.
template <detail::Modelled T>
void write_value(Buffer& out, const T& value) {
  detail::Engine::write(out, &value, detail::TypeOf<T>::info);
}
}  // namespace json

// The JSON text of a record, union or enum.
template <detail::Modelled T>
void write_json(json::Buffer& out, const T& value) {
  json::write_value(out, value);
}

// Writes into `buffer` (which must be empty) and returns the refusal's message, or nullptr.
template <class T>
const char* write_json_into(json::Buffer& buffer, const T& value) {
  try {
    json::write_value(buffer, value);
  } catch (const json::WriteError& refusal) {
    return refusal.what();
  }
  return nullptr;
}

}  // namespace veltrix_compute
