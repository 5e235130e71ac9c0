# Temml, which draws the mathematics of the AI answers: the version pinned in
# resources/package.json (with its lock file) is installed with npm into the build tree and copied
# into resources/vendor/temml-<version>/, where the program and its installation find it. Without
# npm the answers show their formulas as LaTeX source.
if(NOT PARLENDO_BUILD_APP)
  return()
endif()
set(_resources ${CMAKE_CURRENT_SOURCE_DIR}/resources)
file(READ ${_resources}/package.json _package)
string(JSON PARLENDO_TEMML_VERSION GET ${_package} dependencies temml)
set(PARLENDO_TEMML_DIR ${_resources}/vendor/temml-${PARLENDO_TEMML_VERSION})

# Only the pinned version may stay: the program takes the first folder in name order.
file(GLOB _stale LIST_DIRECTORIES true ${_resources}/vendor/temml-*)
list(REMOVE_ITEM _stale ${PARLENDO_TEMML_DIR})
if(_stale)
  file(REMOVE_RECURSE ${_stale})
endif()

find_program(PARLENDO_NPM npm)
if(PARLENDO_NPM)
  set(_npm ${CMAKE_CURRENT_BINARY_DIR}/npm)
  set(_script ${PARLENDO_TEMML_DIR}/temml.min.js)
  add_custom_command(
    OUTPUT ${_script}
    COMMAND ${CMAKE_COMMAND} -E make_directory ${_npm}
    COMMAND ${CMAKE_COMMAND} -E copy ${_resources}/package.json ${_resources}/package-lock.json
            ${_npm}/
    COMMAND ${PARLENDO_NPM} ci --no-audit --no-fund --ignore-scripts --prefix ${_npm}
    COMMAND ${CMAKE_COMMAND} -E make_directory ${PARLENDO_TEMML_DIR}
    COMMAND ${CMAKE_COMMAND} -E copy ${_npm}/node_modules/temml/LICENSE
            ${PARLENDO_TEMML_DIR}/LICENSE
    COMMAND ${CMAKE_COMMAND} -E copy ${_npm}/node_modules/temml/dist/temml.min.js ${_script}.part
    COMMAND ${CMAKE_COMMAND} -E rename ${_script}.part ${_script}
    DEPENDS ${_resources}/package.json ${_resources}/package-lock.json
    COMMENT "Installing Temml ${PARLENDO_TEMML_VERSION} with npm"
    VERBATIM)
  add_custom_target(parlendo_temml ALL DEPENDS ${_script})
else()
  message(WARNING "npm is missing: Temml is not installed and AI answers show formulas as "
                  "LaTeX source (scripts/setup.sh installs npm)")
  add_custom_target(parlendo_temml)
endif()
