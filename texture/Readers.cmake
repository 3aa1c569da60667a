# The image readers other than TGA, and the block-compressed and packed-pair pixel codecs, with the two image
# libraries the PNG and JPEG readers drive. Included at the end of texture/CMakeLists.txt.
find_package(PNG REQUIRED)
find_package(JPEG REQUIRED)

target_sources(tarn_texture PRIVATE
  ${CMAKE_CURRENT_LIST_DIR}/BlockCodec.cpp
  ${CMAKE_CURRENT_LIST_DIR}/BlockCodecBlocks.cpp
  ${CMAKE_CURRENT_LIST_DIR}/PackedPairCodec.cpp
  ${CMAKE_CURRENT_LIST_DIR}/ReadBmp.cpp
  ${CMAKE_CURRENT_LIST_DIR}/ReadDds.cpp
  ${CMAKE_CURRENT_LIST_DIR}/ReadHdr.cpp
  ${CMAKE_CURRENT_LIST_DIR}/ReadJpeg.cpp
  ${CMAKE_CURRENT_LIST_DIR}/ReadPfm.cpp
  ${CMAKE_CURRENT_LIST_DIR}/ReadPng.cpp
  ${CMAKE_CURRENT_LIST_DIR}/ReadPpm.cpp
)
target_link_libraries(tarn_texture PRIVATE PNG::PNG JPEG::JPEG)
