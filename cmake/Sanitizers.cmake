if(PARLENDO_SANITIZE AND PARLENDO_TSAN)
  message(FATAL_ERROR "PARLENDO_SANITIZE and PARLENDO_TSAN cannot be combined")
endif()
if(PARLENDO_SANITIZE)
  add_compile_options(-fsanitize=address,undefined -fno-omit-frame-pointer
                      -fno-sanitize-recover=undefined)
  # g++ 12 reports false "maybe uninitialized" warnings in standard headers under ASan.
  add_compile_options(-Wno-maybe-uninitialized)
  add_link_options(-fsanitize=address,undefined)
endif()
if(PARLENDO_TSAN)
  add_compile_options(-fsanitize=thread -fno-omit-frame-pointer)
  add_link_options(-fsanitize=thread)
endif()
