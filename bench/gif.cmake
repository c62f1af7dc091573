# The GIF benchmark compares with giflib (libgif-dev) in the same run.
find_library(TAVOLIN_GIFLIB gif REQUIRED)
# It swaps the memory and message services to measure what a refused file costs.
target_link_libraries(gif_bench PRIVATE ${TAVOLIN_GIFLIB} platform_testing)
