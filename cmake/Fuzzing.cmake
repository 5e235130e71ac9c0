if(PARLENDO_FUZZ)
  if(NOT CMAKE_CXX_COMPILER_ID STREQUAL "Clang")
    message(FATAL_ERROR "PARLENDO_FUZZ needs clang: -DCMAKE_CXX_COMPILER=clang++ -DCMAKE_C_COMPILER=clang")
  endif()
  if(PARLENDO_SANITIZE OR PARLENDO_TSAN)
    message(FATAL_ERROR "PARLENDO_FUZZ brings its own sanitizers")
  endif()
  # Everything is instrumented for coverage; only the harnesses link libFuzzer's main. Build it as
  # Debug: assertions and the report of dropped completions stay on, -O1 keeps it quick.
  add_compile_options(-O1 -fsanitize=fuzzer-no-link,address,undefined -fno-omit-frame-pointer
                      -fno-sanitize-recover=undefined)
  add_link_options(-fsanitize=address,undefined)
endif()
