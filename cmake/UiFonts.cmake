# The manage page's Korean UI font, cut from Debian's Noto Sans CJK (package fonts-noto-cjk) to the
# Latin, Hangul, jamo and punctuation ranges the page shows, as WOFF2 into resources/vendor/fonts/
# (listed by resources/vendor/fonts.json). Needs fontTools with Brotli (python3-fonttools,
# python3-brotli); without them the page falls back to the system's fonts.
set(PARLENDO_NOTO_CJK_DIR "/usr/share/fonts/opentype/noto" CACHE PATH
    "Folder of NotoSansCJK-Regular.ttc and NotoSansCJK-Bold.ttc")
set(PARLENDO_UI_FONT_DIR ${CMAKE_CURRENT_SOURCE_DIR}/resources/vendor/fonts)
find_program(PARLENDO_FONT_PYTHON NAMES python3 PATHS /usr/bin NO_DEFAULT_PATH)

set(_ui_font_ok FALSE)
if(PARLENDO_FONT_PYTHON AND EXISTS ${PARLENDO_NOTO_CJK_DIR}/NotoSansCJK-Regular.ttc)
  execute_process(COMMAND ${PARLENDO_FONT_PYTHON} -c "import fontTools.subset, brotli"
                  RESULT_VARIABLE _ui_font_probe OUTPUT_QUIET ERROR_QUIET)
  if(_ui_font_probe EQUAL 0)
    set(_ui_font_ok TRUE)
  endif()
endif()

if(_ui_font_ok)
  # Face 1 of the collection is the Korean one.
  set(_ui_font_ranges "U+0020-007E,U+00A0-00FF,U+1100-11FF,U+2010-2027,U+2030-205E,U+2190-21FF,\
U+2300-23FF,U+2460-24FF,U+25A0-25FF,U+2600-27BF,U+3000-303F,U+3131-318E,U+AC00-D7A3,U+FF01-FF5E")
  set(_ui_font_outputs)
  foreach(_weight Regular Bold)
    set(_out ${PARLENDO_UI_FONT_DIR}/NotoSansKR-${_weight}.woff2)
    add_custom_command(
      OUTPUT ${_out}
      COMMAND ${CMAKE_COMMAND} -E make_directory ${PARLENDO_UI_FONT_DIR}
      COMMAND ${PARLENDO_FONT_PYTHON} -m fontTools.subset
              ${PARLENDO_NOTO_CJK_DIR}/NotoSansCJK-${_weight}.ttc --font-number=1
              --unicodes=${_ui_font_ranges} --layout-features=* --flavor=woff2
              --output-file=${_out}.part
      COMMAND ${CMAKE_COMMAND} -E rename ${_out}.part ${_out}
      DEPENDS ${PARLENDO_NOTO_CJK_DIR}/NotoSansCJK-${_weight}.ttc
      COMMENT "Cutting the Korean UI font (${_weight})"
      VERBATIM)
    list(APPEND _ui_font_outputs ${_out})
  endforeach()
  set(_license ${PARLENDO_UI_FONT_DIR}/LICENSE-NotoSansCJK.txt)
  add_custom_command(
    OUTPUT ${_license}
    COMMAND ${CMAKE_COMMAND} -E make_directory ${PARLENDO_UI_FONT_DIR}
    COMMAND ${CMAKE_COMMAND} -E copy /usr/share/doc/fonts-noto-cjk/copyright ${_license}
    VERBATIM)
  add_custom_target(parlendo_ui_fonts ALL DEPENDS ${_ui_font_outputs} ${_license})
else()
  message(WARNING "fontTools with Brotli or Noto Sans CJK is missing: the manage page's Korean "
                  "UI font is not built and the page falls back to the system's fonts")
  add_custom_target(parlendo_ui_fonts)
endif()
