function(parlendo_warnings target)
  target_compile_options(${target} PRIVATE -Wall -Wextra -Wpedantic -Wshadow=local
                                           -Wnon-virtual-dtor)
  # g++ 12 reports false "maybe uninitialized" and "restrict" warnings inside the standard
  # headers in optimised builds (std::optional, std::variant, std::string copies).
  if(NOT CMAKE_BUILD_TYPE STREQUAL "Debug")
    target_compile_options(${target} PRIVATE -Wno-maybe-uninitialized -Wno-restrict)
  endif()
  if(PARLENDO_WERROR)
    target_compile_options(${target} PRIVATE -Werror)
  endif()
endfunction()
