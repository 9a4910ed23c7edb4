# QDL_FUZZ: a build for libFuzzer (scripts/fuzz). Every library is
# instrumented for the fuzzer's coverage and checked by AddressSanitizer and
# UndefinedBehaviorSanitizer; the fuzz targets of tests/fuzz are built as
# programs fuzz_<name>. Needs clang.
option(QDL_FUZZ "Build the libFuzzer targets (clang only)" OFF)
if(QDL_FUZZ)
  if(NOT CMAKE_CXX_COMPILER_ID MATCHES "Clang")
    message(FATAL_ERROR "QDL_FUZZ needs clang: CXX=clang++ CC=clang cmake ...")
  endif()
  add_compile_options(-fsanitize=fuzzer-no-link,address,undefined -fno-omit-frame-pointer
                      -fno-sanitize-recover=undefined)
  add_link_options(-fsanitize=address,undefined)
endif()
