// The total order of StringConstant, and the tag sets built with it.
#pragma once

#include <compare>
#include <vector>

#include "model.h"

namespace veltrix_compute {

// Every literal before every variable, every variable before every Unknown. Texts of the same
// variant compare byte-wise as unsigned bytes, a proper prefix first (no case folding, so "Z" <
// "a"); two Unknowns compare by variant name, then by their Any payloads.
std::strong_ordering compare_string_constants(const compute_api::StringConstant& a,
                                              const compute_api::StringConstant& b) noexcept;

// The tag set of a list: sorted by compare_string_constants, repeats dropped. The list's own
// order and its duplicates do not survive.
OrderedSet<compute_api::StringConstant> make_tag_set(std::vector<compute_api::StringConstant> list);

}  // namespace veltrix_compute
