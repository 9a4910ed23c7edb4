# Help file figures: parsing a shipped help file, rendering its topics, and
# building the keyword index, as the help window does when it opens a file.
add_executable(bench_help ${CMAKE_CURRENT_LIST_DIR}/bench_help.cpp)
target_link_libraries(bench_help PRIVATE platform_help benchmark::benchmark)
target_compile_definitions(bench_help PRIVATE QDL_HELP_SOURCE_DIR="${QDL_HELP_SOURCE_DIR}")
qdl_warnings(bench_help)
