# Every target of the project compiles warning-free with these.
function(qdl_warnings target)
  target_compile_options(${target} PRIVATE -Wall -Wextra)
endfunction()

# A static library for one source folder, with the project's warnings.
function(qdl_library name)
  cmake_parse_arguments(ARG "" "" "SOURCES;PUBLIC_LIBS;PRIVATE_LIBS" ${ARGN})
  add_library(${name} STATIC ${ARG_SOURCES})
  target_include_directories(${name} PUBLIC ${CMAKE_SOURCE_DIR}/src)
  target_link_libraries(${name} PUBLIC ${ARG_PUBLIC_LIBS} PRIVATE ${ARG_PRIVATE_LIBS})
  qdl_warnings(${name})
endfunction()
