# The tests' own support headers (fixtures, test doubles), by their path from the repository root
# ("tests/scene/SceneTestSupport.h"), with the test seams: an in-tree target for the test programs and for the
# benchmarks that drive the engine through the same doubles. Included whether or not the tests are built.
add_library(tarn_test_support INTERFACE)
file(GLOB_RECURSE test_support_headers CONFIGURE_DEPENDS ${CMAKE_CURRENT_LIST_DIR}/*.h)
tarn_in_tree_headers(tarn_test_support ${test_support_headers})
target_link_libraries(tarn_test_support INTERFACE tarn_test_seams)
