# Deck figures on the whole console with the virtual cards: a deck timer
# tick with and without a refill, and loading a 10-minute 320 kbps song.
add_executable(bench_decks ${CMAKE_CURRENT_LIST_DIR}/bench_decks.cpp)
target_link_libraries(bench_decks PRIVATE app benchmark::benchmark)
target_compile_definitions(bench_decks PRIVATE QDL_FIXTURE_DIR="${CMAKE_BINARY_DIR}/fixtures")
qdl_warnings(bench_decks)
add_dependencies(bench_decks mp3_bench_fixtures)
