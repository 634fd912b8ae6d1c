#include "veltrix_compute/model_support.h"

#include <vector>

namespace veltrix_compute {

void write_json(json::Buffer& out, const UnknownVariant& unknown) {
  out.literal("{\"type\":");
  json::write_json(out, unknown.name);
  out.put(',');
  json::write_json(out, unknown.name);
  out.put(':');
  write_json(out, unknown.value);
  out.put('}');
}

namespace detail {
namespace {

struct PendingRelease {
  PayloadDeleter deleter;
  std::uint8_t kind;
  void* payload;
};

// Per thread: how deep frees are nested right now, and the payloads left for the outermost
// release to free.
thread_local int nested_releases = 0;
thread_local std::vector<PendingRelease> pending_releases;

}  // namespace

void release_payload(PayloadDeleter deleter, std::uint8_t kind, void* payload) noexcept {
  if (nested_releases >= kMaxNestedReleases) {
    try {
      pending_releases.push_back({deleter, kind, payload});
      return;
    } catch (...) {
      // No memory for the queue: free it here, one level deeper than planned.
    }
  }
  ++nested_releases;
  deleter(kind, payload);
  if (nested_releases == 1) {
    // The outermost release frees what deeper ones queued; each of those may queue more.
    while (!pending_releases.empty()) {
      PendingRelease next = pending_releases.back();
      pending_releases.pop_back();
      next.deleter(next.kind, next.payload);
    }
  }
  --nested_releases;
}

}  // namespace detail
}  // namespace veltrix_compute
