# vlauth_warnings(<target>): the warning set of the project's own code, fatal unless
# VLAUTH_WERROR is off. Dependencies' headers are included as system headers and stay quiet.
function(vlauth_warnings target)
  target_compile_options(${target} PRIVATE
    -Wall -Wextra -Wpedantic -Wshadow -Wconversion -Wsign-conversion
    -Wcast-qual -Wformat=2 -Wundef -Wnull-dereference
    $<$<COMPILE_LANGUAGE:CXX>:-Wold-style-cast -Wnon-virtual-dtor -Woverloaded-virtual>
    $<$<COMPILE_LANGUAGE:C>:-Wstrict-prototypes -Wmissing-prototypes>)
  if(VLAUTH_WERROR)
    target_compile_options(${target} PRIVATE -Werror)
  endif()
endfunction()
