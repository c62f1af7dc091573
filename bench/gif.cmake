# The GIF benchmark compares with giflib (libgif-dev) in the same run.
find_library(TAVOLIN_GIFLIB gif REQUIRED)
target_link_libraries(gif_bench PRIVATE ${TAVOLIN_GIFLIB})
