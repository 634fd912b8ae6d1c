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
// release to free. One object, so that a release looks its thread's state up once.
struct ReleaseState {
  int nested = 0;
  std::vector<PendingRelease> pending;
};
thread_local ReleaseState release_state;

}  // namespace

void release_payload(PayloadDeleter deleter, std::uint8_t kind, void* payload) noexcept {
  ReleaseState& state = release_state;
  if (state.nested >= kMaxNestedReleases) {
    try {
      state.pending.push_back({deleter, kind, payload});
      return;
    } catch (...) {
      // No memory for the queue: free it here, one level deeper than planned.
    }
  }
  ++state.nested;
  deleter(kind, payload);
  if (state.nested == 1) {
    // The outermost release frees what deeper ones queued; each of those may queue more.
    while (!state.pending.empty()) {
      PendingRelease next = state.pending.back();
      state.pending.pop_back();
      next.deleter(next.kind, next.payload);
    }
  }
  --state.nested;
}

}  // namespace detail
}  // namespace veltrix_compute
