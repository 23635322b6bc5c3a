/* Replaces the heap functions of the process (the executable's definitions take the place
 * of the C library's for every shared library), counting while asked to. The benchmark is
 * single-threaded, so the counters are plain. */
#include <stdlib.h>

#include "counting_alloc.h"

/* glibc's own entry points, behind the public names. */
extern void *__libc_malloc(size_t size);
extern void *__libc_calloc(size_t count, size_t size);
extern void *__libc_realloc(void *ptr, size_t size);
extern void __libc_free(void *ptr);

static int g_counting;
static struct alloc_count g_count;

void alloc_count_begin(void) {
  struct alloc_count zero = {0, 0, 0, 0};
  g_count = zero;
  g_counting = 1;
}

struct alloc_count alloc_count_end(void) {
  g_counting = 0;
  return g_count;
}

static void note_allocation(const void *p, size_t size) {
  if (g_counting && p != NULL) {
    ++g_count.allocations;
    g_count.bytes += size;
  }
}

void *malloc(size_t size) {
  void *p = __libc_malloc(size);
  note_allocation(p, size);
  return p;
}

void *calloc(size_t count, size_t size) {
  void *p = __libc_calloc(count, size);
  note_allocation(p, count * size);
  return p;
}

void *realloc(void *ptr, size_t size) {
  void *p = __libc_realloc(ptr, size);
  if (ptr == NULL) {
    note_allocation(p, size);
  } else if (g_counting && p != NULL) {
    ++g_count.resizes;
    g_count.bytes += size;
  }
  return p;
}

void free(void *ptr) {
  if (g_counting && ptr != NULL) ++g_count.frees;
  __libc_free(ptr);
}
