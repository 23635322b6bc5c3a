// The library frame: versions, the per-thread error text and the release of returned
// strings.
#include <stdlib.h>
#include <string.h>

#include "vlauth_internal.h"

namespace {
// One zero-initialised buffer per thread; trivially constructible, so it costs no TLS
// initialisation call. It holds one message of at most 30 characters.
thread_local char g_last_err[ERROR_TEXT_SIZE];

const char k_version[] = VLAUTH_VERSION_STRING;
}  // namespace

void set_error(const char *message) {
  size_t len = strlen(message);
  if (len >= ERROR_TEXT_SIZE) len = ERROR_TEXT_SIZE - 1;
  memcpy(g_last_err, message, len);
  g_last_err[len] = '\0';
}

void clear_error(void) { g_last_err[0] = '\0'; }

extern "C" {

VLAUTH_API const char *VLAUTH_CALL vlauth_version(void) { return k_version; }

VLAUTH_API int32_t VLAUTH_CALL vlauth_abi_version(void) { return VLAUTH_ABI_VERSION; }

VLAUTH_API const char *VLAUTH_CALL vlauth_last_error(void) { return g_last_err; }

// Every returned string comes from malloc (the library's own or yyjson's default
// allocator), so free is the one release for all of them.
VLAUTH_API void VLAUTH_CALL vlauth_free(void *ptr) { free(ptr); }

}  // extern "C"
