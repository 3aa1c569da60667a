# Tests of the image readers and the block and packed-pair codecs. The PNG and JPEG tests write their fixtures with
# the libraries' own encoders, so the test program links them too. Included by tests/texture/CMakeLists.txt.
find_package(PNG REQUIRED)
find_package(JPEG REQUIRED)

add_executable(texture_readers_tests
  ${CMAKE_CURRENT_LIST_DIR}/BlockCodecTests.cpp
  ${CMAKE_CURRENT_LIST_DIR}/PackedPairCodecTests.cpp
  ${CMAKE_CURRENT_LIST_DIR}/ReadBmpTests.cpp
  ${CMAKE_CURRENT_LIST_DIR}/ReadDdsTests.cpp
  ${CMAKE_CURRENT_LIST_DIR}/ReadHdrTests.cpp
  ${CMAKE_CURRENT_LIST_DIR}/ReadJpegTests.cpp
  ${CMAKE_CURRENT_LIST_DIR}/ReadPfmTests.cpp
  ${CMAKE_CURRENT_LIST_DIR}/ReadPngTests.cpp
  ${CMAKE_CURRENT_LIST_DIR}/ReadPpmTests.cpp
  ${CMAKE_CURRENT_LIST_DIR}/ResourceLimitsTests.cpp
)
target_link_libraries(texture_readers_tests PRIVATE tarn_texture GTest::gtest_main PNG::PNG JPEG::JPEG)
gtest_discover_tests(texture_readers_tests DISCOVERY_TIMEOUT 60)

# texinfo answers from the header alone unless asked for pixels, and the image limits follow TARN_IMAGE_LIMITS.
# Each test writes its own fixture, a run-length 16384 x 16384 Targa header with no pixel data.
set(tga_header_bytes "\\000\\000\\012\\000\\000\\000\\000\\000\\000\\000\\000\\000\\000\\100\\000\\100\\040\\050")
foreach(case reads_only_the_header png_needs_the_pixels follows_the_image_limits_switch)
  set(tga ${CMAKE_CURRENT_BINARY_DIR}/texinfo_${case}.tga)
  set(extra "")
  if(case STREQUAL "png_needs_the_pixels")
    set(extra "--png ${tga}.png")
  endif()
  add_test(NAME texinfo_${case}
           COMMAND sh -c "printf '${tga_header_bytes}' > ${tga} && $<TARGET_FILE:texinfo> ${tga} ${extra}")
endforeach()
set_tests_properties(texinfo_reads_only_the_header PROPERTIES PASS_REGULAR_EXPRESSION "Width: +16384")
set_tests_properties(texinfo_png_needs_the_pixels PROPERTIES WILL_FAIL TRUE)
set_tests_properties(texinfo_follows_the_image_limits_switch PROPERTIES
                     ENVIRONMENT "TARN_IMAGE_LIMITS=width=100;TARN_DEBUG_OUTPUT=1"
                     PASS_REGULAR_EXPRESSION "TGA: image 16384 x 16384 x 1 exceeds the width limit 100")

# texinfo --png writes level 0 at the image's own size a band of rows at a time: the same PNG as a whole texture.
add_test(NAME texinfo_bands_match_the_whole_texture
         COMMAND sh ${CMAKE_CURRENT_LIST_DIR}/texinfo_bands.sh $<TARGET_FILE:texinfo>
                 ${PROJECT_SOURCE_DIR}/fuzz/texture/corpus ${CMAKE_CURRENT_BINARY_DIR}/texinfo_bands)
