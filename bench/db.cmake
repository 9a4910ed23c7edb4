# The song table with a generated library of 100,000 songs: opening with the
# grid shown, nearest-key search per keystroke, order switching, memory.
add_executable(bench_db ${CMAKE_CURRENT_LIST_DIR}/db_bench.cpp)
target_link_libraries(bench_db PRIVATE library platform_db PkgConfig::SQLITE3 benchmark::benchmark
                      Qt6::Widgets)
qdl_warnings(bench_db)
