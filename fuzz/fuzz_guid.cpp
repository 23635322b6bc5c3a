// vlauth_is_valid_guid: 0 exactly for the 8-4-4-4-12 grouping of hex digits, -1 for
// everything else; the error text is never touched.
#include "fuzz_support.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
  std::vector<fuzz::Arg> args = fuzz::split(data, size, 1);
  fuzz::leave_message();
  int32_t result = vlauth_is_valid_guid(fuzz::c_str(args[0]));
  FUZZ_CHECK(result == 0 || result == -1);
  FUZZ_CHECK((result == 0) == (args[0] && fuzz::guid_ok(*args[0])), args[0].value_or("(null)"));
  FUZZ_CHECK(fuzz::error_is("invalid jwt"));
  return 0;
}
