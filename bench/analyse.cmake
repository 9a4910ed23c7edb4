# The tempo analysis of a 1,000-song library from the console's menu while
# both decks play on the real-time virtual cards: speed, deck timer gaps and
# refill misses (songs shared with bench_tempo, made on first run).
add_executable(bench_analyse ${CMAKE_CURRENT_LIST_DIR}/bench_analyse.cpp
  ${CMAKE_SOURCE_DIR}/tests/support/BeatSongs.cpp ${CMAKE_SOURCE_DIR}/tests/support/BeatSongs.h)
target_include_directories(bench_analyse PRIVATE ${CMAKE_SOURCE_DIR}/tests)
target_link_libraries(bench_analyse PRIVATE app benchmark::benchmark)
target_compile_definitions(bench_analyse PRIVATE QDL_FIXTURE_DIR="${CMAKE_BINARY_DIR}/fixtures")
qdl_warnings(bench_analyse)
add_dependencies(bench_analyse mp3_bench_fixtures)
