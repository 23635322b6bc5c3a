/* sample_session.c - a C host of the library: versions, the self-test, then the claims
 * and the session policy of a sample token at a fixed time. */
#include <stdint.h>
#include <stdio.h>

#include <vlauth.h>

#include "sample_token.h"

/* 2023-11-14T22:13:20Z: the sample token was issued then and expires in 2100. */
static const int64_t example_now = 1700000000;

/* Prints one returned document, or why there is none, and releases it. */
static int show(const char *title, char *document) {
  if (document == NULL) {
    fprintf(stderr, "%s: refused: %s\n", title, vlauth_last_error());
    return 1;
  }
  printf("%s:\n%s\n", title, document);
  vlauth_free(document);
  return 0;
}

int main(void) {
  int32_t step;
  int failures = 0;

  printf("library %s, ABI %d (built against %s, ABI %d)\n", vlauth_version(),
         (int)vlauth_abi_version(), VLAUTH_VERSION_STRING, VLAUTH_ABI_VERSION);
  if (vlauth_abi_version() != VLAUTH_ABI_VERSION) return 1;

  step = vlauth_selftest();
  if (step == 0) {
    printf("self-test: passed\n");
  } else {
    printf("self-test: failed at step %d\n", (int)step);
    failures++;
  }

  /* The session policy falls back to the built-in base URLs when given null. */
  failures += show("claims", vlauth_parse_jwt_claims_json(VLAUTH_SAMPLE_TOKEN, example_now));
  failures += show("session policy",
                   vlauth_session_policy_json(VLAUTH_SAMPLE_TOKEN, example_now, NULL, NULL));
  return failures == 0 ? 0 : 1;
}
