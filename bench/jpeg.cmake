# The JPEG timing program's own native library: libjpeg-turbo alone, callable from Java, so that
# the export and the library are compared in one VM (bench/jpeg_alone_jni.cpp).
add_library(jpeg_alone_jni SHARED ${CMAKE_CURRENT_SOURCE_DIR}/jpeg_alone_jni.cpp)
target_include_directories(jpeg_alone_jni PRIVATE ${JNI_INCLUDE_DIRS})
target_link_libraries(jpeg_alone_jni PRIVATE kestrilo_core)
set_target_properties(jpeg_alone_jni PROPERTIES LIBRARY_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/bench)
