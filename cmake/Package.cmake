# The Debian package tarn-engine, made by CPack from what `cmake --install` installs under /usr
# (scripts/package.sh: build/release/tarn-engine_<version>_amd64.deb). Its runtime dependencies come from
# dpkg-shlibdeps, which reads the libraries the installed programs really load.
set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME tarn-engine)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_VENDOR "Tarn Engine developers")
set(CPACK_PACKAGE_CONTACT "Tarn Engine developers <tarn-engine@localhost>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "Sea-scene demo with its engine, texture library and platform layer")
set(CPACK_PACKAGE_DESCRIPTION
    "A real-time 3D sea-floor demo (tarn-seascene) under animated caustic light, the scene viewer tarn-view
(which the desktop opens .TRS files with), the scene and image inspectors tarn-trsinfo and tarn-texinfo, and
the engine's static libraries, headers and CMake package TarnEngine for programs of your own.")
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_PACKAGE_FILE_NAME "${CPACK_PACKAGE_NAME}_${CPACK_PACKAGE_VERSION}_amd64")
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_ARCHITECTURE amd64)
set(CPACK_DEBIAN_PACKAGE_SECTION graphics)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
# Mesa's drivers are loaded at run time, so shlibdeps cannot see them: the software rasteriser is what draws
# headless runs, and a machine without a graphics driver of its own draws its windows with it too.
set(CPACK_DEBIAN_PACKAGE_DEPENDS "libgl1-mesa-dri")
# Building a program against the installed package needs the development files of the libraries it links.
set(CPACK_DEBIAN_PACKAGE_SUGGESTS
    "cmake, g++, libsdl2-dev, libegl-dev, libgl-dev, libpng-dev, libjpeg62-turbo-dev, libssl-dev")
set(CPACK_STRIP_FILES ON)
set(CPACK_OUTPUT_FILE_PREFIX ${PROJECT_BINARY_DIR})
include(CPack)
