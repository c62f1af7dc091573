# The launcher's Windows tests, run under Wine by tests/windows/launcher_e2e.py; no real Java VM
# runs under Wine here, so a stand-in jvm.dll written for the tests takes its place.
#   launcher_tests   the launcher's unit tests (fake VM layer, recording message service) on the
#                    Windows platform layer: the real thread message queue and threads
#   fake_jvm         the stand-in jvm.dll (tests/windows/fake_jvm.cpp), in fake-jdk/bin/server
#   launcher_run     runs launcher.exe, reads and closes its message boxes, prints its exit code
file(GLOB launcher_unit_sources CONFIGURE_DEPENDS ${tests_root}/launcher/*_test.cpp)
# The Linux VM search's tests need a Linux installation layout; the Windows search has its own.
list(FILTER launcher_unit_sources EXCLUDE REGEX "java_vm_search_test\\.cpp$")
add_executable(launcher_tests ${launcher_unit_sources} launcher_services_test.cpp)
target_include_directories(launcher_tests PRIVATE ${CMAKE_SOURCE_DIR} ${tests_root})
target_compile_options(launcher_tests PRIVATE -include ${CMAKE_CURRENT_SOURCE_DIR}/posix_compat.h)
target_link_libraries(launcher_tests PRIVATE launcher_core platform_testing GTest::gtest GTest::gtest_main)

add_library(fake_jvm SHARED fake_jvm.cpp)
target_include_directories(fake_jvm PRIVATE ${JNI_INCLUDE_DIRS})
target_link_libraries(fake_jvm PRIVATE ole32)
# Exported under the plain names a real jvm.dll has, also where they are stdcall (i686).
target_link_options(fake_jvm PRIVATE -Wl,--kill-at)
set_target_properties(fake_jvm PROPERTIES PREFIX "" OUTPUT_NAME jvm
                      RUNTIME_OUTPUT_DIRECTORY ${windows_tests_dir}/fake-jdk/bin/server)

add_executable(launcher_run launcher_run.cpp)

set_target_properties(launcher_tests launcher_run PROPERTIES RUNTIME_OUTPUT_DIRECTORY
                                                             ${windows_tests_dir})
