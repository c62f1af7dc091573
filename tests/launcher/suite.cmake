# The launcher's unit tests: JavaHost and the entry logic over a fake VM layer, and the search for
# the Java VM's library against a fake Java installation whose libjvm.so is no VM.
file(GLOB launcher_test_sources CONFIGURE_DEPENDS ${CMAKE_CURRENT_LIST_DIR}/*_test.cpp)
add_executable(launcher_tests ${launcher_test_sources})
target_include_directories(launcher_tests PRIVATE ${CMAKE_SOURCE_DIR} ${CMAKE_SOURCE_DIR}/tests)
target_link_libraries(launcher_tests PRIVATE launcher_core platform_testing GTest::gtest GTest::gtest_main)
set_target_properties(launcher_tests PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/tests)

set(fake_jdk ${CMAKE_BINARY_DIR}/tests/fake-jdk)
add_library(fake_jvm MODULE ${CMAKE_CURRENT_LIST_DIR}/fake_jvm.c)
set_target_properties(fake_jvm PROPERTIES OUTPUT_NAME jvm PREFIX lib
                      LIBRARY_OUTPUT_DIRECTORY ${fake_jdk}/lib/server)
add_dependencies(launcher_tests fake_jvm)
target_compile_definitions(launcher_tests PRIVATE TAVOLIN_FAKE_JDK="${fake_jdk}")

gtest_discover_tests(launcher_tests DISCOVERY_TIMEOUT 60 PROPERTIES LABELS unit)
