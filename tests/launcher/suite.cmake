# The launcher's unit tests: JavaHost and the entry logic over a fake VM layer.
file(GLOB launcher_test_sources CONFIGURE_DEPENDS ${CMAKE_CURRENT_LIST_DIR}/*_test.cpp)
add_executable(launcher_tests ${launcher_test_sources})
target_include_directories(launcher_tests PRIVATE ${CMAKE_SOURCE_DIR} ${CMAKE_SOURCE_DIR}/tests)
target_link_libraries(launcher_tests PRIVATE launcher_core GTest::gtest GTest::gtest_main)
set_target_properties(launcher_tests PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/tests)
gtest_discover_tests(launcher_tests DISCOVERY_TIMEOUT 60 PROPERTIES LABELS unit)
