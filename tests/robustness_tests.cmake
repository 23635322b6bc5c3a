# Robustness: every allocation failure, many threads, and the binary interface.

# The allocation-failure sweep. Its executable carries the fault-injecting heap, which
# replaces malloc and friends for the whole process, the library and yyjson included.
vlauth_add_gtest(alloc_failure_test alloc_failure_test.cpp support/fault_alloc.cpp)
target_include_directories(alloc_failure_test PRIVATE ${CMAKE_CURRENT_SOURCE_DIR})
target_link_libraries(alloc_failure_test PRIVATE ${CMAKE_DL_LIBS})
# The heap's forwarders run before a sanitizer's runtime has set itself up; they must not
# carry its instrumentation (the sanitizer still checks every block they hand out).
set_source_files_properties(support/fault_alloc.cpp PROPERTIES COMPILE_OPTIONS "-fno-sanitize=all")

# Every export from many threads at once; the tsan preset runs it under ThreadSanitizer.
vlauth_add_gtest(thread_stress_test thread_stress_test.cpp)

# The binary interface: exactly the twelve exports and the SONAME, read from the built
# shared object.
add_test(NAME abi_exports_and_soname
         COMMAND ${CMAKE_COMMAND} -DLIBRARY=$<TARGET_FILE:vlauth> -DNM=${CMAKE_NM}
                 -DREADELF=${CMAKE_READELF} -P ${CMAKE_CURRENT_SOURCE_DIR}/abi/check_exports.cmake)
set_tests_properties(abi_exports_and_soname PROPERTIES LABELS abi)

# The public header compiles as C99 and as C++17 with every warning fatal; building these
# two objects is the test.
add_library(header_c99 OBJECT abi/header_c99.c)
set_target_properties(header_c99 PROPERTIES C_STANDARD 99 C_STANDARD_REQUIRED ON C_EXTENSIONS OFF)
add_library(header_cxx17 OBJECT abi/header_cxx17.cpp)
set_target_properties(header_cxx17 PROPERTIES CXX_STANDARD 17 CXX_STANDARD_REQUIRED ON CXX_EXTENSIONS OFF)
foreach(_header_check header_c99 header_cxx17)
  target_link_libraries(${_header_check} PRIVATE vlauth::vlauth)
  target_compile_options(${_header_check} PRIVATE -Wall -Wextra -Wpedantic -Werror)
  vlauth_warnings(${_header_check})
endforeach()
