# The cost of the loudness meter and the overview in the analysis's one pass:
# the tempo analysis of a 5-minute song with and without them, alternated in one run.
add_executable(bench_loudness ${CMAKE_CURRENT_LIST_DIR}/bench_loudness.cpp
  ${CMAKE_SOURCE_DIR}/tests/support/BeatSongs.cpp ${CMAKE_SOURCE_DIR}/tests/support/BeatSongs.h)
target_include_directories(bench_loudness PRIVATE ${CMAKE_SOURCE_DIR}/tests)
target_link_libraries(bench_loudness PRIVATE platform_loudness platform_analysis platform_tempo Qt6::Core
  benchmark::benchmark)
qdl_warnings(bench_loudness)
