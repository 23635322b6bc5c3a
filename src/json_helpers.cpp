// The one way the library reads and writes JSON: strict reading with the default
// allocator, documents whose root is an object, compact writing.
#include <string.h>

#include "vlauth_internal.h"

yyjson_doc *read_json(const char *text, size_t len, bool *no_memory) {
  // Without the in-situ flag the reader does not write to its input; it keeps a copy of
  // everything it needs, so the caller may release the text right away.
  yyjson_read_err err;
  yyjson_doc *doc = yyjson_read_opts(const_cast<char *>(text), len, 0, nullptr, &err);
  if (no_memory != nullptr) {
    *no_memory = doc == nullptr && err.code == YYJSON_READ_ERROR_MEMORY_ALLOCATION;
  }
  return doc;
}

yyjson_mut_doc *new_object_doc(yyjson_mut_val **root) {
  yyjson_mut_doc *doc = yyjson_mut_doc_new(nullptr);
  if (doc == nullptr) return nullptr;
  yyjson_mut_val *obj = yyjson_mut_obj(doc);
  if (obj == nullptr) {
    yyjson_mut_doc_free(doc);
    return nullptr;
  }
  yyjson_mut_doc_set_root(doc, obj);
  *root = obj;
  return doc;
}

char *write_and_free_doc(yyjson_mut_doc *doc) {
  char *text = yyjson_mut_write_opts(doc, 0, nullptr, nullptr, nullptr);
  yyjson_mut_doc_free(doc);
  return text;
}

yyjson_val *find_member(yyjson_val *obj, const char *key, size_t key_len) {
  yyjson_obj_iter it = yyjson_obj_iter_with(obj);
  yyjson_val *k;
  while ((k = yyjson_obj_iter_next(&it)) != nullptr) {
    if (yyjson_get_len(k) == key_len && memcmp(yyjson_get_str(k), key, key_len) == 0) {
      return yyjson_obj_iter_get_val(k);
    }
  }
  return nullptr;
}
