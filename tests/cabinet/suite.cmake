# The cabinet builder's unit tests load writer modules: the real one (built as cabwriter) and
# fakes that lack an entry point or fail to be destroyed.
set(fake_cabinet_dir ${CMAKE_BINARY_DIR}/tests/fakes)
foreach(variant NO_CREATE NO_FLUSH_FOLDER DESTROY_FAILS)
  string(TOLOWER ${variant} name)
  add_library(fake_cabinet_${name} SHARED ${CMAKE_CURRENT_SOURCE_DIR}/fakes/fake_cabinet_module.cpp)
  target_compile_definitions(fake_cabinet_${name} PRIVATE FAKE_${variant})
  target_include_directories(fake_cabinet_${name} PRIVATE ${CMAKE_SOURCE_DIR})
  set_target_properties(fake_cabinet_${name} PROPERTIES LIBRARY_OUTPUT_DIRECTORY ${fake_cabinet_dir})
  add_dependencies(library_tests fake_cabinet_${name})
endforeach()
add_dependencies(library_tests cabwriter)
target_compile_definitions(library_tests PRIVATE
  TAVOLIN_CABWRITER_MODULE="$<TARGET_FILE:cabwriter>"
  TAVOLIN_FAKE_CABINET_DIR="${fake_cabinet_dir}")
# The writer module's tests decode its blocks with zlib's own inflate.
find_package(ZLIB REQUIRED)
target_link_libraries(library_tests PRIVATE ZLIB::ZLIB)
