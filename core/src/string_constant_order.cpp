#include "veltrix_compute/string_constant_order.h"

#include <utility>

namespace veltrix_compute {

namespace model = compute_api;

std::strong_ordering compare_string_constants(const model::StringConstant& a,
                                              const model::StringConstant& b) noexcept {
  // The kinds are declared literal, variable, Unknown: their order is the rank of the variants.
  if (a.kind() != b.kind()) return a.kind() <=> b.kind();
  switch (a.kind()) {
    case model::StringConstant::Kind::literal:
      return compare_key(a.as_literal(), b.as_literal());
    case model::StringConstant::Kind::variable:
      return compare_key(a.as_variable(), b.as_variable());
    case model::StringConstant::Kind::Unknown:
      break;
  }
  const UnknownVariant& x = a.as_unknown();
  const UnknownVariant& y = b.as_unknown();
  if (auto by_name = compare_key(x.name, y.name); by_name != 0) return by_name;
  return x.value <=> y.value;
}

OrderedSet<model::StringConstant> make_tag_set(std::vector<model::StringConstant> list) {
  return OrderedSet<model::StringConstant>::from_list(std::move(list), compare_string_constants);
}

}  // namespace veltrix_compute
