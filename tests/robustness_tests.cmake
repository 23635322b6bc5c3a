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
