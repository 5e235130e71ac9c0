# Links with LLD where it is installed: the test programs link several times faster than with
# the system linker, which matters most for the sanitizer builds.
option(PARLENDO_LLD "Link with LLD when it is installed" ON)
if(PARLENDO_LLD)
  find_program(PARLENDO_LLD_PROGRAM ld.lld)
  if(PARLENDO_LLD_PROGRAM)
    include(CheckLinkerFlag)
    check_linker_flag(CXX "-fuse-ld=lld" PARLENDO_LINKS_WITH_LLD)
    if(PARLENDO_LINKS_WITH_LLD)
      add_link_options(-fuse-ld=lld)
    endif()
  endif()
endif()
