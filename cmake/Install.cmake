# What `cmake --install` gives besides the programs and data (installed by demo/ and tools/): the engine's libraries
# as the CMake package TarnEngine, and their headers under include/tarn with the same paths as in the source tree
# ("platform/d3d9/D3D9.h", "texture/D3DXTexture.h", ...).
#
#   find_package(TarnEngine CONFIG REQUIRED)
#   target_link_libraries(myprogram PRIVATE Tarn::texture Tarn::main)
include(CMakePackageConfigHelpers)

set(TARN_INSTALL_INCLUDEDIR ${CMAKE_INSTALL_INCLUDEDIR}/tarn)
set(TARN_INSTALL_CMAKEDIR ${CMAKE_INSTALL_LIBDIR}/cmake/TarnEngine)

# Library target -> name in the package (Tarn::<name>).
set(TARN_EXPORTED_LIBRARIES
  tarn_platform platform
  tarn_platform_main main
  tarn_math math
  tarn_texture texture
  tarn_report report
  tarn_render render
  tarn_scene scene
  tarn_app app)
set(exported_targets)
while(TARN_EXPORTED_LIBRARIES)
  list(POP_FRONT TARN_EXPORTED_LIBRARIES target name)
  set_target_properties(${target} PROPERTIES EXPORT_NAME ${name})
  list(APPEND exported_targets ${target})
endwhile()
install(TARGETS ${exported_targets}
  EXPORT TarnEngineTargets
  ARCHIVE DESTINATION ${CMAKE_INSTALL_LIBDIR}
  INCLUDES DESTINATION ${TARN_INSTALL_INCLUDEDIR})
install(EXPORT TarnEngineTargets NAMESPACE Tarn:: DESTINATION ${TARN_INSTALL_CMAKEDIR})

# The public headers of the installed libraries (tarn_public_headers), at their source-tree paths; internal/
# folders and the test seams are never installed.
foreach(target ${exported_targets})
  get_target_property(headers ${target} TARN_PUBLIC_HEADERS)
  if(NOT headers)
    continue()
  endif()
  foreach(header ${headers})
    get_filename_component(header_dir ${header} DIRECTORY)
    install(FILES ${header} DESTINATION ${TARN_INSTALL_INCLUDEDIR}/${header_dir})
  endforeach()
endforeach()

configure_package_config_file(${CMAKE_CURRENT_LIST_DIR}/TarnEngineConfig.cmake.in
  ${PROJECT_BINARY_DIR}/TarnEngineConfig.cmake
  INSTALL_DESTINATION ${TARN_INSTALL_CMAKEDIR})
write_basic_package_version_file(${PROJECT_BINARY_DIR}/TarnEngineConfigVersion.cmake
  COMPATIBILITY SameMajorVersion)
install(FILES ${PROJECT_BINARY_DIR}/TarnEngineConfig.cmake ${PROJECT_BINARY_DIR}/TarnEngineConfigVersion.cmake
  DESTINATION ${TARN_INSTALL_CMAKEDIR})
