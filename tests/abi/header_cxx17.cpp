// The public header as a C++17 host sees it: the same checks as the C99 host's, compiled
// as C++ with every warning fatal.
#include "header_c99.c"

static_assert(sizeof(VLAUTH_VERSION_STRING) == 6, "the version string is \"1.0.0\"");
