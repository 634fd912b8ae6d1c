// The engine's stack of frames (or of the writer's closing characters): the first kInline in the
// object itself (on the C stack), more on the heap, doubling. Growing may throw std::bad_alloc.
#pragma once

#include <cstddef>
#include <cstring>
#include <new>
#include <type_traits>

namespace veltrix_compute::detail {

template <class Frame, std::size_t kInline = 32>
class WorkStack {
  static_assert(std::is_trivially_copyable_v<Frame>);

 public:
  WorkStack() noexcept = default;
  WorkStack(const WorkStack&) = delete;
  WorkStack& operator=(const WorkStack&) = delete;
  ~WorkStack() {
    if (frames_ != inline_frames_) ::operator delete(frames_);
  }

  bool empty() const noexcept { return size_ == 0; }
  std::size_t size() const noexcept { return size_; }
  Frame& top() noexcept { return frames_[size_ - 1]; }
  const Frame& at(std::size_t index) const noexcept { return frames_[index]; }
  void pop() noexcept { --size_; }
  void pop_to(std::size_t size) noexcept { size_ = size; }
  void push(const Frame& frame) {
    if (size_ == capacity_) grow();
    frames_[size_++] = frame;
  }

 private:
  void grow() {
    const std::size_t capacity = 2 * capacity_;
    auto* frames = static_cast<Frame*>(::operator new(capacity * sizeof(Frame)));
    std::memcpy(static_cast<void*>(frames), frames_, size_ * sizeof(Frame));
    if (frames_ != inline_frames_) ::operator delete(frames_);
    frames_ = frames;
    capacity_ = capacity;
  }

  Frame inline_frames_[kInline];
  Frame* frames_ = inline_frames_;
  std::size_t size_ = 0;
  std::size_t capacity_ = kInline;
};

}  // namespace veltrix_compute::detail
