// Runs work on a thread with a 64 KiB stack: far too small to walk a long chain one frame per
// level (a frame of a recursive copy took 112 bytes, of a recursive writer 64).
#pragma once

#include <gtest/gtest.h>
#include <pthread.h>

namespace veltrix_test {

inline void run_on_small_stack(void (*work)()) {
  pthread_attr_t attributes;
  ASSERT_EQ(pthread_attr_init(&attributes), 0);
  ASSERT_EQ(pthread_attr_setstacksize(&attributes, 64 * 1024), 0);
  pthread_t thread;
  ASSERT_EQ(pthread_create(
                &thread, &attributes,
                [](void* raw_work) -> void* {
                  reinterpret_cast<void (*)()>(raw_work)();
                  return nullptr;
                },
                reinterpret_cast<void*>(work)),
            0);
  ASSERT_EQ(pthread_join(thread, nullptr), 0);
  pthread_attr_destroy(&attributes);
}

}  // namespace veltrix_test
