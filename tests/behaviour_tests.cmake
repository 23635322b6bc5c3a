# Behaviour tests: every export called through the public header, as a host calls it,
# one executable per concern. Two of them decode documents with yyjson to compare values.
vlauth_add_gtest(frame_test frame_test.cpp)
vlauth_add_gtest(validation_test validation_test.cpp)
vlauth_add_gtest(claims_test claims_test.cpp)
vlauth_add_gtest(transport_test transport_test.cpp)
vlauth_add_gtest(login_request_test login_request_test.cpp)
vlauth_add_gtest(web_login_url_test web_login_url_test.cpp)
vlauth_add_gtest(session_policy_test session_policy_test.cpp)
vlauth_add_gtest(selftest_test selftest_test.cpp)

target_link_libraries(login_request_test PRIVATE yyjson::yyjson)
target_link_libraries(session_policy_test PRIVATE yyjson::yyjson)
