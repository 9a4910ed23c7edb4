# MP3 source benchmarks on two long generated files (made on first build).
set(QDL_BENCH_FIXTURE_OUT ${CMAKE_BINARY_DIR}/fixtures)
set(QDL_MP3_BENCH_FIXTURES
  ${QDL_BENCH_FIXTURE_OUT}/bench_chord_44k_stereo_cbr192_5min.mp3
  ${QDL_BENCH_FIXTURE_OUT}/bench_noise_44k_stereo_v0_10min.mp3
  ${QDL_BENCH_FIXTURE_OUT}/bench_noise_44k_stereo_cbr320_10min.mp3)
add_custom_command(
  OUTPUT ${QDL_MP3_BENCH_FIXTURES}
  COMMAND ${CMAKE_SOURCE_DIR}/scripts/make-fixtures ${QDL_BENCH_FIXTURE_OUT} bench
  DEPENDS ${CMAKE_SOURCE_DIR}/scripts/make-fixtures
  COMMENT "Generating MP3 benchmark fixtures (5 and 10 minutes)"
  VERBATIM)
add_custom_target(mp3_bench_fixtures DEPENDS ${QDL_MP3_BENCH_FIXTURES})

add_executable(bench_formate ${CMAKE_CURRENT_LIST_DIR}/bench_formate.cpp)
target_link_libraries(bench_formate PRIVATE audio platform_mp3 benchmark::benchmark)
target_compile_definitions(bench_formate PRIVATE QDL_FIXTURE_DIR="${QDL_BENCH_FIXTURE_OUT}")
qdl_warnings(bench_formate)
add_dependencies(bench_formate mp3_bench_fixtures)
