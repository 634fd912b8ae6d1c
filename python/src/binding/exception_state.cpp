// The C++ runtime's per-thread exception state, defined here in place of the runtime's own.
//
// Exhausted memory must raise MemoryError on every thread, also at the thread's first C++
// exception, and every exception uses this state. The runtime linked into the module keeps it in a
// general-dynamic thread-local variable: the C library allocates it from the heap for each thread
// on first use, and may have to grow the thread's table of such blocks as well, ending the process
// if memory has run out ("cannot allocate memory for thread-local data"; measured with a copy out
// of memory under RLIMIT_AS at 7 headroom values from 8 to 96 MiB: as a process's first exception
// it ended the process at 4 or 5 of them, as a new thread's at 6 or 7). An initial-exec
// variable makes the linker mark the module STATIC_TLS instead: the C library places it in every
// thread's static TLS when it loads the module, and reaching it needs no call and no memory. The
// Itanium C++ ABI's two functions that give the state are defined here, so the linker takes these
// rather than the static runtime's (which would collide with them if it were linked in at all).
// A marker variable of its own would place the runtime's state in static TLS too, but reaching it
// would still go through the C library's lookup, which grows the thread's table from the heap once
// enough libraries with thread-local data have been loaded since the thread started (measured:
// 24 such libraries loaded after a thread started, then that thread out of memory at its first
// exception ended the process).
//
// The cost: loading fails ("cannot allocate memory in static TLS block") if other libraries have
// used up the C library's static TLS reserve, which is set when the process starts (about 1.7 KiB
// was left in a fresh interpreter); the module takes 24 bytes of it.
#include <cxxabi.h>

namespace {

// The ABI's __cxa_eh_globals: the caught exceptions and the count of uncaught ones, and the
// propagating exceptions of the 32-bit ARM unwinder. Only the runtime reads or writes it.
struct ExceptionState {
  void* caught_exceptions;
  unsigned int uncaught_exceptions;
  void* propagating_exceptions;
};

[[gnu::tls_model("initial-exec")]] thread_local ExceptionState exception_state{};

}  // namespace

extern "C" {

abi::__cxa_eh_globals* __cxa_get_globals() noexcept {
  return reinterpret_cast<abi::__cxa_eh_globals*>(&exception_state);
}

abi::__cxa_eh_globals* __cxa_get_globals_fast() noexcept {
  return reinterpret_cast<abi::__cxa_eh_globals*>(&exception_state);
}

}
