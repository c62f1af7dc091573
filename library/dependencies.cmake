# Link dependencies of the library's subsystems, included from library/CMakeLists.txt.

# The JPEG export compresses through libjpeg-turbo's libjpeg interface (Debian:
# libjpeg62-turbo-dev); its blue-green-red-padding input space reads the packed ints as they are.
find_package(JPEG REQUIRED)
target_link_libraries(kestrilo_core PUBLIC JPEG::JPEG)
