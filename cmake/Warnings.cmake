function(parlendo_warnings target)
  target_compile_options(${target} PRIVATE -Wall -Wextra -Wpedantic -Wshadow=local
                                           -Wnon-virtual-dtor)
  if(PARLENDO_WERROR)
    target_compile_options(${target} PRIVATE -Werror)
  endif()
endfunction()
