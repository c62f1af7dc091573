# The JNI bridge's unit tests: the entry points over a JNI environment of the tests' own, which
# records every call the bridge makes into the VM.
file(GLOB bridge_test_sources CONFIGURE_DEPENDS ${CMAKE_CURRENT_LIST_DIR}/*_test.cpp)
add_executable(bridge_tests ${bridge_test_sources}
               ${CMAKE_SOURCE_DIR}/library/exports/jni/jpeg_bridge.cpp
               ${CMAKE_SOURCE_DIR}/library/boundary/jni/jni_support.cpp)
add_dependencies(bridge_tests java_classes)
target_include_directories(bridge_tests PRIVATE ${CMAKE_SOURCE_DIR} ${CMAKE_SOURCE_DIR}/tests
                           ${TAVOLIN_JNI_HEADER_DIR} ${JNI_INCLUDE_DIRS})
target_link_libraries(bridge_tests PRIVATE kestrilo_core platform_testing GTest::gtest GTest::gtest_main)
set_target_properties(bridge_tests PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/tests)
gtest_discover_tests(bridge_tests DISCOVERY_TIMEOUT 60 PROPERTIES LABELS unit)
