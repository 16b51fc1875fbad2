# yeb_layer(<name> [DEPS <targets>...])
# One static library per folder, built from every .cpp in the folder, so that
# adding a source file needs no CMake change. The include root is src/, so
# code includes "templatelib/tString.h", "platform/Clock.h" and so on.
function(yeb_layer name)
  cmake_parse_arguments(ARG "" "" "DEPS" ${ARGN})
  file(GLOB sources CONFIGURE_DEPENDS ${CMAKE_CURRENT_SOURCE_DIR}/*.cpp)
  # A folder's main.cpp belongs to its program, not to its library.
  list(FILTER sources EXCLUDE REGEX "/main\\.cpp$")
  if(NOT sources)
    # A layer that holds only headers so far.
    add_library(${name} INTERFACE)
    target_include_directories(${name} INTERFACE ${PROJECT_SOURCE_DIR}/src)
    target_link_libraries(${name} INTERFACE ${ARG_DEPS})
    return()
  endif()
  add_library(${name} STATIC ${sources})
  target_include_directories(${name} PUBLIC ${PROJECT_SOURCE_DIR}/src)
  target_link_libraries(${name} PUBLIC ${ARG_DEPS})
endfunction()

# yeb_tests(<folder> [DEPS <targets>...])
# Every *_test.cpp of the folder goes into <folder>_tests; every
# *_threaded_test.cpp into <folder>_threaded_tests, labelled "threaded" so
# that the ThreadSanitizer build can run just those.
function(yeb_tests folder)
  cmake_parse_arguments(ARG "" "" "DEPS" ${ARGN})
  file(GLOB all CONFIGURE_DEPENDS ${CMAKE_CURRENT_SOURCE_DIR}/*_test.cpp)
  file(GLOB threaded CONFIGURE_DEPENDS ${CMAKE_CURRENT_SOURCE_DIR}/*_threaded_test.cpp)
  set(plain ${all})
  if(threaded)
    list(REMOVE_ITEM plain ${threaded})
  endif()
  file(GLOB support CONFIGURE_DEPENDS ${CMAKE_CURRENT_SOURCE_DIR}/*_support.cpp)
  foreach(kind plain threaded)
    if(NOT ${kind})
      continue()
    endif()
    if(kind STREQUAL "plain")
      set(exe ${folder}_tests)
    else()
      set(exe ${folder}_threaded_tests)
    endif()
    add_executable(${exe} ${${kind}} ${support})
    target_include_directories(${exe} PRIVATE ${PROJECT_SOURCE_DIR}/src ${PROJECT_SOURCE_DIR}/tests)
    target_link_libraries(${exe} PRIVATE ${ARG_DEPS} yeb_testsupport GTest::gtest GTest::gmock GTest::gtest_main Threads::Threads)
    target_compile_definitions(${exe} PRIVATE SOURCE_DIR="${PROJECT_SOURCE_DIR}")
    # Only a program whose tests run one of the tools waits for that tool to
    # link: the unit tests build and run while the programs still link.
    foreach(program yebstress yebverify configsql)
      string(TOUPPER ${program}_PATH macro)
      set(uses FALSE)
      foreach(source ${${kind}} ${support})
        file(STRINGS ${source} named REGEX "${macro}")
        if(named)
          set(uses TRUE)
        endif()
      endforeach()
      if(uses)
        target_compile_definitions(${exe} PRIVATE ${macro}="$<TARGET_FILE:${program}>")
        add_dependencies(${exe} ${program})
      endif()
    endforeach()
    # Under wine the list of tests is asked for when ctest runs, not after
    # every link, so that a build starts no wine process.
    set(discovery POST_BUILD)
    if(CMAKE_CROSSCOMPILING)
      set(discovery PRE_TEST)
    endif()
    # A case table's structs print as their raw bytes, pointers and padding
    # included, which would make ctest's names change from run to run: the
    # names are the test names alone, and the tables name their cases.
    set(discover_args DISCOVERY_TIMEOUT 60 DISCOVERY_MODE ${discovery} NO_PRETTY_VALUES)
    if(kind STREQUAL "threaded")
      gtest_discover_tests(${exe} PROPERTIES LABELS threaded ${discover_args})
    else()
      gtest_discover_tests(${exe} ${discover_args})
    endif()
  endforeach()
endfunction()

# yeb_program(<name> <main source> DEPS <targets>...)
# The programs land at the top of the build folder (build/yebstress, ...),
# where scripts and outside checks look for them.
function(yeb_program name main)
  cmake_parse_arguments(ARG "" "" "DEPS" ${ARGN})
  add_executable(${name} ${main})
  target_link_libraries(${name} PRIVATE ${ARG_DEPS})
  set_target_properties(${name} PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR})
endfunction()
