# Instrumented builds. KTA_SANITIZE takes -fsanitize's list: "address,undefined"
# or "thread" (the two do not mix). Every target of the tree gets the flags,
# so the test programs and the tools that the end-to-end scripts run are
# checked alike. Any finding ends the process with a failure.
set(KTA_SANITIZE "" CACHE STRING "Sanitizers to build with, e.g. address,undefined or thread")
# libFuzzer targets under tests/fuzz (clang only); the whole tree is built with
# coverage feedback and ASan+UBSan so that a fault inside the library is seen.
option(KTA_FUZZ "Build the libFuzzer targets (clang)" OFF)

if(KTA_FUZZ)
  if(NOT CMAKE_CXX_COMPILER_ID MATCHES "Clang")
    message(FATAL_ERROR "KTA_FUZZ needs clang (configure with CC=clang CXX=clang++)")
  endif()
  if(NOT KTA_SANITIZE)
    set(KTA_SANITIZE "address,undefined")
  endif()
  add_compile_options(-fsanitize=fuzzer-no-link)
endif()

if(KTA_SANITIZE)
  add_compile_options(-fsanitize=${KTA_SANITIZE} -fno-omit-frame-pointer
                      -fno-sanitize-recover=all)
  add_link_options(-fsanitize=${KTA_SANITIZE})
  if(KTA_SANITIZE MATCHES "address")
    # Bounds checks in the standard containers, which ASan cannot see inside capacity.
    add_compile_definitions(_GLIBCXX_ASSERTIONS)
  endif()
endif()
