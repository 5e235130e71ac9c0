# Build information that an installed program reads at run time: the version and the build label
# (YYYYMMDD.NN). The label's date is the configure date, so it changes once a day at most.
set(PARLENDO_GENERATED_DIR ${CMAKE_CURRENT_BINARY_DIR}/generated)
string(TIMESTAMP PARLENDO_BUILD_DATE "%Y%m%d")
set(PARLENDO_BUILD_LABEL "${PARLENDO_BUILD_DATE}.${PARLENDO_BUILD_NUMBER}")
set(PARLENDO_RESOURCE_DIR_IN_TREE ${CMAKE_CURRENT_SOURCE_DIR}/resources)
configure_file(${CMAKE_CURRENT_SOURCE_DIR}/cmake/BuildInfo.h.in
               ${PARLENDO_GENERATED_DIR}/BuildInfo.h @ONLY)
configure_file(${CMAKE_CURRENT_SOURCE_DIR}/cmake/build_info.json.in
               ${PARLENDO_GENERATED_DIR}/build_info.json @ONLY)
