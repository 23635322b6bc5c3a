/* A C host built against the installed library alone: the header's version against the
 * loaded library's, the self-test, and one document checked byte for byte. */
#include <stdio.h>
#include <string.h>

#include <vlauth.h>

int main(void) {
  const char *expected = "https://auth.example.com/login?redirect=%2Fhome";
  char *url;
  int ok;

  if (strcmp(vlauth_version(), VLAUTH_VERSION_STRING) != 0 ||
      vlauth_abi_version() != VLAUTH_ABI_VERSION) {
    fprintf(stderr, "consumer: header %s/%d, library %s/%d\n", VLAUTH_VERSION_STRING,
            VLAUTH_ABI_VERSION, vlauth_version(), (int)vlauth_abi_version());
    return 1;
  }
  if (vlauth_selftest() != 0) {
    fprintf(stderr, "consumer: self-test failed\n");
    return 1;
  }
  url = vlauth_build_web_login_url("https://auth.example.com/", "/home");
  ok = url != NULL && strcmp(url, expected) == 0;
  if (!ok) fprintf(stderr, "consumer: login url %s\n", url != NULL ? url : "(null)");
  vlauth_free(url);
  if (ok) printf("C consumer: library %s, ABI %d, self-test passed\n", vlauth_version(),
                 (int)vlauth_abi_version());
  return ok ? 0 : 1;
}
