# The C++ API over the C functions, and the vlauth command run as a user runs it.
vlauth_add_gtest(cpp_api_test cpp_api_test.cpp)
target_include_directories(cpp_api_test PRIVATE ${CMAKE_CURRENT_SOURCE_DIR})

if(TARGET vlauth_cli)
  vlauth_add_gtest(tool_test tool_test.cpp)
  target_include_directories(tool_test PRIVATE ${CMAKE_CURRENT_SOURCE_DIR})
  target_link_libraries(tool_test PRIVATE vlauth_time_text)
  target_compile_definitions(tool_test PRIVATE VLAUTH_TOOL="$<TARGET_FILE:vlauth_cli>")
  add_dependencies(tool_test vlauth_cli)
endif()
