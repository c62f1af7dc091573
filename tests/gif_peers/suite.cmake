# The GIF unit tests compare with giflib, the other decoder at hand (libgif-dev).
find_library(TAVOLIN_GIFLIB gif REQUIRED)
target_link_libraries(library_tests PRIVATE ${TAVOLIN_GIFLIB})
