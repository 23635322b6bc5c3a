# VLAUTH_SANITIZE applies to every target of the build, the library included, so that
# the tests exercise the instrumented library.
if(VLAUTH_SANITIZE)
  set(_vlauth_san "-fsanitize=${VLAUTH_SANITIZE}")
  if(VLAUTH_SANITIZE MATCHES "undefined")
    string(APPEND _vlauth_san " -fsanitize=float-cast-overflow -fno-sanitize-recover=all")
  endif()
  string(APPEND CMAKE_C_FLAGS " ${_vlauth_san} -fno-omit-frame-pointer")
  string(APPEND CMAKE_CXX_FLAGS " ${_vlauth_san} -fno-omit-frame-pointer")
  string(APPEND CMAKE_EXE_LINKER_FLAGS " ${_vlauth_san}")
  string(APPEND CMAKE_SHARED_LINKER_FLAGS " ${_vlauth_san}")
endif()
