// The one way the library reads and writes JSON: strict reading, documents whose root is
// an object, compact writing. Returned text always comes from the default allocator; the
// documents of one call may live in a fixed-size buffer of the caller's instead (yyjson's
// pool allocator), when they are known to fit.
#include <string.h>

#include "vlauth_internal.h"

namespace {

// The pool allocator's own overhead on a buffer: its alignment and header, and for each of
// the two blocks a mutable document takes, alignment and a block header.
const size_t k_pool_overhead = 128;

// Points `alc` at `pool` when it holds `need` bytes of documents; false for the heap.
bool use_pool(yyjson_alc *alc, void *pool, size_t pool_size, size_t need) {
  return pool != nullptr && need != 0 && need <= pool_size &&
         yyjson_alc_pool_init(alc, pool, pool_size);
}

void note_memory(bool *no_memory, const yyjson_doc *doc, const yyjson_read_err &err) {
  if (no_memory != nullptr) {
    *no_memory = doc == nullptr && err.code == YYJSON_READ_ERROR_MEMORY_ALLOCATION;
  }
}

}  // namespace

yyjson_doc *read_json(const char *text, size_t len, bool *no_memory, void *pool,
                      size_t pool_size) {
  // Without the in-situ flag the reader does not write to its input; it keeps a copy of
  // everything it needs, so the caller may release the text right away.
  yyjson_alc alc;
  bool pooled = use_pool(&alc, pool, pool_size, yyjson_read_max_memory_usage(len, 0));
  yyjson_read_err err;
  char *input = const_cast<char *>(text);
  yyjson_doc *doc = yyjson_read_opts(input, len, 0, pooled ? &alc : nullptr, &err);
  if (doc == nullptr && pooled && err.code == YYJSON_READ_ERROR_MEMORY_ALLOCATION) {
    doc = yyjson_read_opts(const_cast<char *>(text), len, 0, nullptr, &err);
  }
  note_memory(no_memory, doc, err);
  return doc;
}

yyjson_doc *read_json_in_place(char *text, size_t len, bool *no_memory, void *pool,
                               size_t pool_size) {
  // The reader keeps its strings in `text` itself: one allocation and one copy fewer. A
  // pool is used only when the reader's own bound on its memory says the text fits, since
  // a second attempt could not start from the text as it was.
  yyjson_alc alc;
  bool pooled = use_pool(&alc, pool, pool_size,
                         yyjson_read_max_memory_usage(len, YYJSON_READ_INSITU));
  yyjson_read_err err;
  yyjson_doc *doc = yyjson_read_opts(text, len, YYJSON_READ_INSITU, pooled ? &alc : nullptr, &err);
  note_memory(no_memory, doc, err);
  return doc;
}

yyjson_mut_doc *new_sized_object_doc(yyjson_mut_val **root, size_t values, void *pool,
                                     size_t pool_size, bool *pooled) {
  // Everything the document takes when it is sized right: itself and one block of values
  // (one more than asked for, which heads the block).
  yyjson_alc alc;
  *pooled = values != 0 && values < pool_size &&
            use_pool(&alc, pool, pool_size,
                     sizeof(yyjson_mut_doc) + (values + 1) * sizeof(yyjson_mut_val) +
                         k_pool_overhead);
  yyjson_mut_doc *doc = yyjson_mut_doc_new(*pooled ? &alc : nullptr);
  if (doc == nullptr) return nullptr;
  // The values grow by doubling otherwise; a count that is too large leaves that.
  yyjson_mut_doc_set_val_pool_size(doc, values);
  yyjson_mut_val *obj = yyjson_mut_obj(doc);
  if (obj == nullptr) {
    yyjson_mut_doc_free(doc);
    return nullptr;
  }
  yyjson_mut_doc_set_root(doc, obj);
  *root = obj;
  return doc;
}

char *write_doc_to(const yyjson_mut_doc *doc, void *pool, size_t pool_size, size_t *len,
                   bool *pooled) {
  yyjson_alc alc;
  *pooled = pool != nullptr && yyjson_alc_pool_init(&alc, pool, pool_size);
  yyjson_write_err err;
  char *text = yyjson_mut_write_opts(doc, 0, *pooled ? &alc : nullptr, len, &err);
  if (text == nullptr && *pooled && err.code == YYJSON_WRITE_ERROR_MEMORY_ALLOCATION) {
    *pooled = false;
    text = yyjson_mut_write_opts(doc, 0, nullptr, len, &err);
  }
  return text;
}

char *write_and_free_doc(yyjson_mut_doc *doc) {
  char *text = yyjson_mut_write_opts(doc, 0, nullptr, nullptr, nullptr);
  yyjson_mut_doc_free(doc);
  return text;
}
