# Tempo analysis accuracy on generated songs of known tempo and the speed of
# analysing a 5-minute song beside its bare decode (songs made on first run).
add_executable(bench_tempo ${CMAKE_CURRENT_LIST_DIR}/bench_tempo.cpp
  ${CMAKE_SOURCE_DIR}/tests/support/BeatSongs.cpp ${CMAKE_SOURCE_DIR}/tests/support/BeatSongs.h)
target_include_directories(bench_tempo PRIVATE ${CMAKE_SOURCE_DIR}/tests)
target_link_libraries(bench_tempo PRIVATE platform_tempo platform_mp3 Qt6::Core benchmark::benchmark)
qdl_warnings(bench_tempo)
