# Check and scan speed on generated trees of MP3 files (made when the
# benchmark starts, removed when it ends).
add_executable(bench_scan ${CMAKE_CURRENT_LIST_DIR}/bench_scan.cpp)
target_link_libraries(bench_scan PRIVATE library benchmark::benchmark)
qdl_warnings(bench_scan)
target_include_directories(bench_scan PRIVATE ${CMAKE_SOURCE_DIR}/tests)
