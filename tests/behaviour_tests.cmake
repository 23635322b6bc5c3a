# Behaviour tests: each export called through the public header, as a host calls it.
vlauth_add_gtest(frame_test frame_test.cpp)
vlauth_add_gtest(validation_test validation_test.cpp)
vlauth_add_gtest(claims_test claims_test.cpp)
vlauth_add_gtest(transport_test transport_test.cpp)
vlauth_add_gtest(login_request_test login_request_test.cpp)
target_link_libraries(login_request_test PRIVATE yyjson::yyjson)
vlauth_add_gtest(web_login_url_test web_login_url_test.cpp)
