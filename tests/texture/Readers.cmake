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
