# Playlist loads on the console with the virtual cards: a .qdp of 10,000
# entries with its list, the same list added to an empty library, and reading
# M3U text.
add_executable(bench_playlist ${CMAKE_CURRENT_LIST_DIR}/bench_playlist.cpp)
target_link_libraries(bench_playlist PRIVATE app benchmark::benchmark)
qdl_warnings(bench_playlist)
