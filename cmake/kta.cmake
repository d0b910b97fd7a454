# Helpers shared by the folders' CMakeLists.

# kta_library(NAME [DEPS lib...] [ONLY file...] [EXCLUDE file...]): a static
# library of every .cpp in the current folder, or of the ONLY ones, but the
# excluded ones (a program's own entry, say); files ending in _posix/_win32
# build only on their platform.
function(kta_library name)
  cmake_parse_arguments(ARG "" "" "DEPS;ONLY;EXCLUDE" ${ARGN})
  if(ARG_ONLY)
    list(TRANSFORM ARG_ONLY PREPEND ${CMAKE_CURRENT_SOURCE_DIR}/ OUTPUT_VARIABLE sources)
  else()
    file(GLOB sources CONFIGURE_DEPENDS ${CMAKE_CURRENT_SOURCE_DIR}/*.cpp)
  endif()
  foreach(file ${ARG_EXCLUDE})
    list(REMOVE_ITEM sources ${CMAKE_CURRENT_SOURCE_DIR}/${file})
  endforeach()
  if(WIN32)
    list(FILTER sources EXCLUDE REGEX "_posix\\.cpp$")
  else()
    list(FILTER sources EXCLUDE REGEX "_win32\\.cpp$")
  endif()
  add_library(${name} STATIC ${sources})
  target_include_directories(${name} PUBLIC ${PROJECT_SOURCE_DIR})
  target_link_libraries(${name} PUBLIC ${ARG_DEPS})
endfunction()

# kta_test_folder([DEPS lib...]): one test program per *_test.cpp here.
# Names holding _posix_ or _win32_ build only on that platform. Programs named *_lab_test.cpp use the lab's fixed ports and broadcast, so
# ctest runs them one at a time. Names holding _timing_ are labelled timing.
function(kta_test_folder)
  cmake_parse_arguments(ARG "" "" "DEPS" ${ARGN})
  file(GLOB tests CONFIGURE_DEPENDS ${CMAKE_CURRENT_SOURCE_DIR}/*_test.cpp)
  if(WIN32)
    list(FILTER tests EXCLUDE REGEX "_posix[_.][^/]*$")
  else()
    list(FILTER tests EXCLUDE REGEX "_win32[_.][^/]*$")
  endif()
  get_filename_component(folder ${CMAKE_CURRENT_SOURCE_DIR} NAME)
  foreach(src ${tests})
    get_filename_component(stem ${src} NAME_WE)
    set(target ${folder}_${stem})
    add_executable(${target} ${src})
    target_link_libraries(${target} PRIVATE ${ARG_DEPS} kta_testing GTest::gtest GTest::gmock)
    set(props TIMEOUT 300)
    if(stem MATCHES "_lab_test$")
      list(APPEND props RESOURCE_LOCK lab_ports)
    endif()
    # Measurements rather than checks: the sanitizer builds skip them (-LE timing).
    if(stem MATCHES "_timing_")
      list(APPEND props LABELS timing)
    endif()
    if(CMAKE_CROSSCOMPILING AND NOT CMAKE_CROSSCOMPILING_EMULATOR)
      # Nothing here can run the program: one test that fails, not a silent gap.
      add_test(NAME ${target} COMMAND ${target})
      set_tests_properties(${target} PROPERTIES ${props})
    else()
      # Under Wine the first listing may wait for the prefix's server to start.
      gtest_discover_tests(${target} TEST_PREFIX "${folder}." DISCOVERY_MODE PRE_TEST
                           DISCOVERY_TIMEOUT 120 PROPERTIES ${props})
    endif()
  endforeach()
endfunction()
