// The fault-injecting heap of fault_alloc.h. The allocation functions defined here take
// precedence over the C library's in every object of the process; each one forwards to
// the next definition in lookup order (the C library's, or a sanitizer's), found with
// dlsym(RTLD_NEXT). dlsym may itself allocate before the forwarders are known; those few
// bytes come from a static arena and are never released.
#ifndef _GNU_SOURCE
#define _GNU_SOURCE 1
#endif
#include "fault_alloc.h"

#include <dlfcn.h>
#include <errno.h>
#include <stdint.h>
#include <string.h>

#include <atomic>

namespace {

using MallocFn = void *(*)(size_t);
using CallocFn = void *(*)(size_t, size_t);
using ReallocFn = void *(*)(void *, size_t);
using FreeFn = void (*)(void *);
using PosixMemalignFn = int (*)(void **, size_t, size_t);
using AlignedAllocFn = void *(*)(size_t, size_t);

struct Real {
  std::atomic<MallocFn> malloc_fn{nullptr};
  std::atomic<CallocFn> calloc_fn{nullptr};
  std::atomic<ReallocFn> realloc_fn{nullptr};
  std::atomic<FreeFn> free_fn{nullptr};
  std::atomic<PosixMemalignFn> posix_memalign_fn{nullptr};
  std::atomic<AlignedAllocFn> aligned_alloc_fn{nullptr};
  std::atomic<AlignedAllocFn> memalign_fn{nullptr};
};
Real g_real;

// ---- Bootstrap arena for allocations made while the forwarders are being looked up --
alignas(64) unsigned char g_arena[16384];
std::atomic<size_t> g_arena_used{0};
thread_local bool t_resolving = false;

bool in_arena(const void *p) {
  const unsigned char *b = static_cast<const unsigned char *>(p);
  return b >= g_arena && b < g_arena + sizeof g_arena;
}

void *arena_alloc(size_t size) {
  size_t rounded = (size + 15) & ~static_cast<size_t>(15);
  size_t at = g_arena_used.fetch_add(rounded);
  if (at + rounded > sizeof g_arena) return nullptr;
  return g_arena + at;
}

template <typename Fn>
Fn lookup(const char *name) {
  void *sym = dlsym(RTLD_NEXT, name);
  Fn fn;
  static_assert(sizeof fn == sizeof sym, "function and object pointers differ in size");
  memcpy(&fn, &sym, sizeof fn);
  return fn;
}

void resolve() {
  if (g_real.free_fn.load(std::memory_order_acquire) != nullptr) return;
  t_resolving = true;
  g_real.malloc_fn.store(lookup<MallocFn>("malloc"));
  g_real.calloc_fn.store(lookup<CallocFn>("calloc"));
  g_real.realloc_fn.store(lookup<ReallocFn>("realloc"));
  g_real.posix_memalign_fn.store(lookup<PosixMemalignFn>("posix_memalign"));
  g_real.aligned_alloc_fn.store(lookup<AlignedAllocFn>("aligned_alloc"));
  g_real.memalign_fn.store(lookup<AlignedAllocFn>("memalign"));
  g_real.free_fn.store(lookup<FreeFn>("free"), std::memory_order_release);
  t_resolving = false;
}

// ---- The scope of the calling thread ----------------------------------------------
struct Scope {
  bool open = false;
  fault_alloc::Mode mode = fault_alloc::Mode::count;
  size_t fail_at = 0;
  size_t allocations = 0;
  bool injected = false;
};
thread_local Scope t_scope;

// Called once per allocation attempt: true when this one must fail.
bool should_fail() {
  Scope &s = t_scope;
  if (!s.open) return false;
  size_t n = ++s.allocations;
  bool fail = false;
  switch (s.mode) {
    case fault_alloc::Mode::count:
      break;
    case fault_alloc::Mode::fail_once:
      fail = n == s.fail_at;
      break;
    case fault_alloc::Mode::keep_failing:
      fail = n >= s.fail_at;
      break;
  }
  if (fail) s.injected = true;
  return fail;
}

// ---- Blocks allocated inside a scope, until released -------------------------------
// Open addressing over a fixed table, so that tracking never allocates.
constexpr size_t k_slots = size_t{1} << 16;
void *const k_tombstone = reinterpret_cast<void *>(uintptr_t{1});
void *g_slots[k_slots];
std::atomic<size_t> g_tracked{0};
std::atomic_flag g_lock = ATOMIC_FLAG_INIT;

struct Lock {
  Lock() {
    while (g_lock.test_and_set(std::memory_order_acquire)) {
    }
  }
  ~Lock() { g_lock.clear(std::memory_order_release); }
  Lock(const Lock &) = delete;
  Lock &operator=(const Lock &) = delete;
};

size_t slot_of(const void *p) {
  uintptr_t h = reinterpret_cast<uintptr_t>(p);
  h ^= h >> 17;
  h *= 0x9E3779B97F4A7C15ull;
  return static_cast<size_t>(h >> 7) & (k_slots - 1);
}

void track(void *p) {
  Lock lock;
  size_t i = slot_of(p);
  while (g_slots[i] != nullptr && g_slots[i] != k_tombstone) i = (i + 1) & (k_slots - 1);
  g_slots[i] = p;
  g_tracked.fetch_add(1);
}

// Forgets `p` if it is tracked; true when it was.
bool untrack(void *p) {
  if (g_tracked.load() == 0) return false;
  Lock lock;
  for (size_t i = slot_of(p), probes = 0; probes < k_slots; i = (i + 1) & (k_slots - 1), ++probes) {
    if (g_slots[i] == nullptr) return false;
    if (g_slots[i] == p) {
      g_slots[i] = k_tombstone;
      g_tracked.fetch_sub(1);
      return true;
    }
  }
  return false;
}

void *note(void *p) {
  if (p != nullptr && t_scope.open) track(p);
  return p;
}

}  // namespace

namespace fault_alloc {

void begin(Mode mode, size_t fail_at) {
  resolve();
  t_scope.mode = mode;
  t_scope.fail_at = fail_at;
  t_scope.allocations = 0;
  t_scope.injected = false;
  t_scope.open = true;
}

Outcome end() {
  t_scope.open = false;
  return Outcome{t_scope.allocations, t_scope.injected};
}

size_t tracked_live() { return g_tracked.load(); }

void forget_tracked() {
  Lock lock;
  memset(static_cast<void *>(g_slots), 0, sizeof g_slots);
  g_tracked.store(0);
}

}  // namespace fault_alloc

extern "C" {

void *malloc(size_t size) noexcept {
  if (t_resolving) return arena_alloc(size);
  resolve();
  if (should_fail()) {
    errno = ENOMEM;
    return nullptr;
  }
  return note(g_real.malloc_fn.load()(size));
}

void *calloc(size_t count, size_t size) noexcept {
  if (t_resolving) {
    if (size != 0 && count > SIZE_MAX / size) return nullptr;
    return arena_alloc(count * size);  // static storage: already zero
  }
  resolve();
  if (should_fail()) {
    errno = ENOMEM;
    return nullptr;
  }
  return note(g_real.calloc_fn.load()(count, size));
}

void *realloc(void *ptr, size_t size) noexcept {
  if (t_resolving) return arena_alloc(size);
  resolve();
  if (ptr != nullptr && in_arena(ptr)) {
    // Arena blocks carry no size; copying the rest of the arena is enough and harmless.
    void *fresh = malloc(size);
    size_t room = static_cast<size_t>(g_arena + sizeof g_arena - static_cast<unsigned char *>(ptr));
    if (fresh != nullptr) memcpy(fresh, ptr, size < room ? size : room);
    return fresh;
  }
  if (should_fail()) {
    errno = ENOMEM;
    return nullptr;  // the old block stays as it was
  }
  void *fresh = g_real.realloc_fn.load()(ptr, size);
  if (ptr != nullptr && (fresh != nullptr || size == 0)) {
    // The old block is gone; a tracked one stays tracked under its new address.
    if (untrack(ptr) && fresh != nullptr && !t_scope.open) track(fresh);
  }
  return note(fresh);
}

void free(void *ptr) noexcept {
  if (ptr == nullptr || in_arena(ptr)) return;
  resolve();
  untrack(ptr);
  g_real.free_fn.load()(ptr);
}

int posix_memalign(void **out, size_t alignment, size_t size) noexcept {
  resolve();
  if (should_fail()) return ENOMEM;
  int rc = g_real.posix_memalign_fn.load()(out, alignment, size);
  if (rc == 0) note(*out);
  return rc;
}

void *aligned_alloc(size_t alignment, size_t size) noexcept {
  resolve();
  if (should_fail()) {
    errno = ENOMEM;
    return nullptr;
  }
  return note(g_real.aligned_alloc_fn.load()(alignment, size));
}

void *memalign(size_t alignment, size_t size) noexcept {
  resolve();
  if (should_fail()) {
    errno = ENOMEM;
    return nullptr;
  }
  return note(g_real.memalign_fn.load()(alignment, size));
}

}  // extern "C"
