# The cost of playing: the console on PortAudio and the PulseAudio test bed
# (scripts/audio-testbed), CPU share and wake-ups playing and idle.
add_executable(bench_cost ${CMAKE_CURRENT_LIST_DIR}/bench_cost.cpp)
target_link_libraries(bench_cost PRIVATE app benchmark::benchmark)
target_include_directories(bench_cost PRIVATE ${CMAKE_SOURCE_DIR}/tests)
target_compile_definitions(bench_cost PRIVATE QDL_FIXTURE_DIR="${CMAKE_BINARY_DIR}/fixtures"
                                              QDL_SOURCE_DIR="${CMAKE_SOURCE_DIR}")
qdl_warnings(bench_cost)
add_dependencies(bench_cost mp3_bench_fixtures)
