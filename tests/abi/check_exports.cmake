# Checks the shared object's binary interface: it exports exactly the twelve functions
# of the public header and carries the SONAME of ABI version 1.
#   cmake -DLIBRARY=<path> -DNM=<nm> -DREADELF=<readelf> -P check_exports.cmake
set(expected
  vlauth_abi_version vlauth_build_cookie_value vlauth_build_login_request_json
  vlauth_build_web_login_url vlauth_extract_token vlauth_free vlauth_is_valid_guid
  vlauth_last_error vlauth_parse_jwt_claims_json vlauth_selftest
  vlauth_session_policy_json vlauth_version)
set(expected_soname libostrevo-velunar-auth-session.so.1)

execute_process(COMMAND "${NM}" -D --defined-only "${LIBRARY}"
                OUTPUT_VARIABLE nm_out RESULT_VARIABLE rc)
if(NOT rc EQUAL 0)
  message(FATAL_ERROR "${NM} failed on ${LIBRARY}")
endif()
string(REPLACE "\n" ";" lines "${nm_out}")
set(exported)
foreach(line IN LISTS lines)
  # "<address> <type> <name>[@@<version>]"; type A is a version node, not a symbol.
  if(line MATCHES "^[0-9a-fA-F]* *([A-Za-z]) ([^@ ]+)")
    if(NOT CMAKE_MATCH_1 STREQUAL "A")
      list(APPEND exported "${CMAKE_MATCH_2}")
      if(NOT CMAKE_MATCH_1 STREQUAL "T")
        message(SEND_ERROR "${CMAKE_MATCH_2} is exported with type ${CMAKE_MATCH_1}, not as a function")
      endif()
    endif()
  endif()
endforeach()
list(SORT exported)
if(NOT exported STREQUAL expected)
  set(extra ${exported})
  list(REMOVE_ITEM extra ${expected})
  set(missing ${expected})
  list(REMOVE_ITEM missing ${exported})
  message(FATAL_ERROR "exported symbols differ: extra [${extra}] missing [${missing}]")
endif()

execute_process(COMMAND "${READELF}" -d "${LIBRARY}" OUTPUT_VARIABLE dyn RESULT_VARIABLE rc)
if(NOT rc EQUAL 0 OR NOT dyn MATCHES "Library soname: \\[([^]]*)\\]")
  message(FATAL_ERROR "no SONAME in ${LIBRARY}")
endif()
if(NOT CMAKE_MATCH_1 STREQUAL expected_soname)
  message(FATAL_ERROR "SONAME is ${CMAKE_MATCH_1}, expected ${expected_soname}")
endif()
list(LENGTH exported count)
message(STATUS "${count} exports, SONAME ${expected_soname}")
