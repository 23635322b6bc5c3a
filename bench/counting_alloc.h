/* A counting allocator for the benchmark: malloc, calloc, realloc and free of the
 * benchmark executable count the calls made between alloc_count_begin() and
 * alloc_count_end() and pass every call on to the C library's own allocator. */
#ifndef VLAUTH_BENCH_COUNTING_ALLOC_H
#define VLAUTH_BENCH_COUNTING_ALLOC_H

#include <stddef.h>

#ifdef __cplusplus
extern "C" {
#endif

struct alloc_count {
  size_t allocations; /* malloc, calloc and realloc(NULL, n) calls that return memory */
  size_t resizes;     /* realloc calls that resize a block */
  size_t bytes;       /* bytes requested by all of them */
  size_t frees;       /* free calls with a non-null pointer */
};

void alloc_count_begin(void);
struct alloc_count alloc_count_end(void);

#ifdef __cplusplus
}
#endif

#endif
