# Sound mixer: speed of two pitched decks on one card and resampler quality,
# against libsamplerate.
add_executable(bench_sound ${CMAKE_CURRENT_LIST_DIR}/bench_sound.cpp)
target_link_libraries(bench_sound PRIVATE platform_sound platform_stretch PkgConfig::SAMPLERATE
  benchmark::benchmark)
target_include_directories(bench_sound PRIVATE ${CMAKE_SOURCE_DIR}/tests/sound)
qdl_warnings(bench_sound)
