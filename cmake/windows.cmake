# The Windows cross build (mingw-w64, see cmake/toolchains/): settings for the whole tree, and
# tavolin_windows_targets() for the targets once they exist. Included from the top CMakeLists.

# No runtime DLLs of the compiler's beside ours: libstdc++, libgcc and winpthread go in statically,
# so Kestrilo.dll needs only the system's own libraries.
add_link_options(-static)
# No link time in the PE headers: the same sources give the same binaries.
add_link_options(-Wl,--no-insert-timestamp)

# The JNI headers of the installed JDK (a Linux JDK: jni.h is the same everywhere) with a
# jni_md.h for Windows of our own in place of the JDK's Linux one.
set(JNI_INCLUDE_DIRS $ENV{JAVA_HOME}/include ${CMAKE_SOURCE_DIR}/platform/win32/jni)
if(NOT EXISTS $ENV{JAVA_HOME}/include/jni.h)
  message(FATAL_ERROR "No jni.h under $ENV{JAVA_HOME}/include")
endif()

function(tavolin_windows_targets)
  # The module the Java VM loads is Kestrilo.dll, without the "lib" of a GNU toolchain. On i686
  # the JNI entries are stdcall and would be exported as Java_Kestrilo_wav2au@12, a name no JVM
  # looks up; --kill-at exports them under their plain names.
  set_target_properties(Kestrilo PROPERTIES PREFIX "")
  target_link_options(Kestrilo PRIVATE -Wl,--kill-at)
endfunction()
