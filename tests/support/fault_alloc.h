// A fault-injecting heap for tests. Linking fault_alloc.cpp into a test executable
// replaces malloc, calloc, realloc, free and the aligned allocators for the whole
// process (the library and yyjson's default allocator included); every call is passed on
// to the heap underneath. Nothing changes until a thread opens a scope: from then on
// that thread's allocations are numbered 1, 2, 3, ... and, if asked, the N-th (or the
// N-th and all later ones) fails as if memory were exhausted. Blocks allocated inside a
// scope are tracked until they are released, from any thread, so that a leak shows.
#ifndef VLAUTH_TESTS_FAULT_ALLOC_H
#define VLAUTH_TESTS_FAULT_ALLOC_H

#include <stddef.h>

namespace fault_alloc {

enum class Mode {
  count,         // number the allocations, fail none
  fail_once,     // the N-th allocation fails, the ones after it succeed
  keep_failing,  // the N-th allocation and every later one fail
};

// Opens a scope on the calling thread. Nothing may allocate between begin() and end()
// but the code under test. At most one scope is open at a time in the process.
void begin(Mode mode, size_t fail_at = 0);

struct Outcome {
  size_t allocations;  // allocation attempts inside the scope, failed ones included
  bool injected;       // whether a failure was injected
};
// Closes the scope; the blocks allocated inside it stay tracked.
Outcome end();

// Blocks allocated inside scopes and not yet released.
size_t tracked_live();
// Forgets every tracked block (after a reported leak, so the next check starts clean).
void forget_tracked();

}  // namespace fault_alloc

#endif
