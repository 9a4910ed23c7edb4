# The song list report over generated libraries: PDF of 10,000 and 100,000
# songs with the memory it takes, and the preview's first page.
add_executable(bench_report ${CMAKE_CURRENT_LIST_DIR}/bench_report.cpp)
target_link_libraries(bench_report PRIVATE print library platform_report benchmark::benchmark
                      Qt6::Widgets)
qdl_warnings(bench_report)
