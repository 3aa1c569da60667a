# Which headers a target shows to the targets that link it.
#
# Headers are included by their path from the repository root ("texture/D3DXTexture.h"), but no target sees the
# repository root itself: each target's headers are linked, at those paths, into an include folder of its own in
# the build tree (build/<preset>/include/<target>/...), and only that folder is on the path of the targets that
# link it. So a file can include only the headers of the targets its own target links, and the layering in
# docs/ARCHITECTURE.md is what the compiler enforces. A library's other headers live in its internal/ folder, a
# private include directory of its own target (included by bare name).
#
#   tarn_public_headers(<target> <header>...)   the target's interface, installed with an exported library
#   tarn_in_tree_headers(<target> <header>...)  headers shown to in-tree targets only (test seams, test support,
#                                               tool libraries); never installed
#
# Header paths are relative to the calling CMakeLists.txt, or absolute. The include folders are made afresh at every configure,
# so a header taken off a list stops resolving at once.

set(TARN_HEADER_STAGE ${PROJECT_BINARY_DIR}/include)
file(REMOVE_RECURSE ${TARN_HEADER_STAGE})

# Links each header into the target's include folder at its path from the repository root and returns those paths.
function(_tarn_stage_headers target out_paths)
  set(paths)
  foreach(header ${ARGN})
    if(IS_ABSOLUTE ${header})
      set(source ${header})
    else()
      set(source ${CMAKE_CURRENT_SOURCE_DIR}/${header})
    endif()
    if(NOT EXISTS ${source})
      message(FATAL_ERROR "${target}: header ${source} does not exist")
    endif()
    file(RELATIVE_PATH path ${PROJECT_SOURCE_DIR} ${source})
    get_filename_component(dir ${TARN_HEADER_STAGE}/${target}/${path} DIRECTORY)
    file(MAKE_DIRECTORY ${dir})
    file(CREATE_LINK ${source} ${TARN_HEADER_STAGE}/${target}/${path} SYMBOLIC)
    list(APPEND paths ${path})
  endforeach()
  set(${out_paths} ${paths} PARENT_SCOPE)
endfunction()

function(_tarn_include_scope target out_scope)
  get_target_property(type ${target} TYPE)
  if(type STREQUAL "INTERFACE_LIBRARY")
    set(${out_scope} INTERFACE PARENT_SCOPE)
  else()
    set(${out_scope} PUBLIC PARENT_SCOPE)
  endif()
endfunction()

function(tarn_public_headers target)
  _tarn_stage_headers(${target} paths ${ARGN})
  _tarn_include_scope(${target} scope)
  target_include_directories(${target} ${scope} $<BUILD_INTERFACE:${TARN_HEADER_STAGE}/${target}>
                                                $<INSTALL_INTERFACE:${CMAKE_INSTALL_INCLUDEDIR}/tarn>)
  # cmake/Install.cmake installs these for the exported libraries.
  set_property(TARGET ${target} APPEND PROPERTY TARN_PUBLIC_HEADERS ${paths})
endfunction()

function(tarn_in_tree_headers target)
  _tarn_stage_headers(${target} paths ${ARGN})
  _tarn_include_scope(${target} scope)
  target_include_directories(${target} ${scope} ${TARN_HEADER_STAGE}/${target})
endfunction()
