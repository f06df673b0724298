# Helpers that give every source folder the same shape:
#   name.cpp        -> the static library crvl_<folder> of that layer
#   name_test.cpp   -> one test binary <folder>_test per folder, registered with CTest
# A layer's library links only the layers below it (DEPENDS), so the link itself shows
# the order; tools/layers/check_layers.sh checks the includes.
# Under the cross build CTest runs the test binaries through CMAKE_CROSSCOMPILING_EMULATOR.

# crvl_module(<folder> [DEPENDS libraries...] [EXTRA_SOURCES files...] [EXTRA_TESTS files...])
function(crvl_module folder)
  cmake_parse_arguments(ARG "" "" "DEPENDS;EXTRA_SOURCES;EXTRA_TESTS" ${ARGN})
  file(GLOB sources CONFIGURE_DEPENDS ${CMAKE_CURRENT_SOURCE_DIR}/*.cpp)
  list(FILTER sources EXCLUDE REGEX "_test\\.cpp$")
  list(APPEND sources ${ARG_EXTRA_SOURCES})
  file(GLOB tests CONFIGURE_DEPENDS ${CMAKE_CURRENT_SOURCE_DIR}/*_test.cpp)
  list(APPEND tests ${ARG_EXTRA_TESTS})
  if(sources)
    add_library(crvl_${folder} STATIC ${sources})
    target_include_directories(crvl_${folder} PUBLIC ${CMAKE_SOURCE_DIR}/src
                               ${CMAKE_SOURCE_DIR}/src/platform/${CRVL_OS})
    target_link_libraries(crvl_${folder} PUBLIC ${ARG_DEPENDS})
  else()
    add_library(crvl_${folder} INTERFACE)
    target_link_libraries(crvl_${folder} INTERFACE ${ARG_DEPENDS})
  endif()
  if(tests AND CRVL_TESTS)
    add_executable(${folder}_test ${tests})
    target_link_libraries(${folder}_test PRIVATE crvl_${folder} GTest::gmock GTest::gtest_main)
    # Beside the programs and the language library, which Windows finds there.
    set_target_properties(${folder}_test PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR})
    target_compile_definitions(${folder}_test PRIVATE
      CRVL_SOURCE_DIR="${CMAKE_SOURCE_DIR}" CRVL_BINARY_DIR="${CMAKE_BINARY_DIR}")
    # One CTest entry per binary: under Wine every process start is the slow part.
    add_test(NAME ${folder}_test COMMAND ${folder}_test --gtest_color=no)
    set_tests_properties(${folder}_test PROPERTIES TIMEOUT 900)
  endif()
endfunction()
