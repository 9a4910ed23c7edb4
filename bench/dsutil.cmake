# Stream player figures on the 10-minute VBR file of the MP3 source
# benchmarks (mp3_bench_fixtures, bench/formate.cmake), played on a virtual
# card so that no sound hardware is needed.
add_executable(bench_dsutil ${CMAKE_CURRENT_LIST_DIR}/bench_dsutil.cpp)
target_link_libraries(bench_dsutil PRIVATE audio benchmark::benchmark)
target_compile_definitions(bench_dsutil PRIVATE QDL_FIXTURE_DIR="${CMAKE_BINARY_DIR}/fixtures")
qdl_warnings(bench_dsutil)
add_dependencies(bench_dsutil mp3_bench_fixtures)
