// The one way the model turns a list into an ordered set or a map into unique keys: a stable
// sort, then of each run of equal elements only the last one given is kept.
#pragma once

#include <algorithm>
#include <cstddef>
#include <utility>
#include <vector>

namespace veltrix_compute::detail {

// `items` sorted by `compare` (a three-way comparison whose result compares with 0), of each
// run of equal elements only the last one kept.
template <class T, class Compare>
std::vector<T> sorted_keeping_last(std::vector<T> items, Compare compare) {
  std::stable_sort(items.begin(), items.end(), [&](const T& a, const T& b) { return compare(a, b) < 0; });
  std::vector<T> kept;
  kept.reserve(items.size());
  for (std::size_t i = 0; i < items.size(); ++i) {
    // Keep an element only when the next one differs from it: the last of each run survives.
    if (i + 1 < items.size() && compare(items[i], items[i + 1]) == 0) continue;
    kept.push_back(std::move(items[i]));
  }
  return kept;
}

}  // namespace veltrix_compute::detail
