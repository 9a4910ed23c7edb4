# Sync on the console with the virtual cards: two generated songs at 120 and
# 126 BPM, synced, their beats measured in 60 s of the cards' output (songs
# made on first run; needs sox and lame).
add_executable(bench_sync ${CMAKE_CURRENT_LIST_DIR}/bench_sync.cpp
  ${CMAKE_SOURCE_DIR}/tests/support/BeatSongs.cpp ${CMAKE_SOURCE_DIR}/tests/support/BeatSongs.h
  ${CMAKE_SOURCE_DIR}/tests/support/BeatPhase.h)
target_include_directories(bench_sync PRIVATE ${CMAKE_SOURCE_DIR}/tests)
target_link_libraries(bench_sync PRIVATE app benchmark::benchmark)
qdl_warnings(bench_sync)
