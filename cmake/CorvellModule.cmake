# Helpers that give every source folder the same shape:
#   name.cpp        -> object library crvl_<folder>, part of crvl_core
#   name_test.cpp   -> one test binary <folder>_test per folder, registered with CTest
# Under the cross build CTest runs the test binaries through CMAKE_CROSSCOMPILING_EMULATOR.

set_property(GLOBAL PROPERTY CRVL_CORE_OBJECTS "")
set_property(GLOBAL PROPERTY CRVL_TEST_FOLDERS "")

# crvl_module(<folder> [EXTRA_SOURCES files...] [EXTRA_TESTS files...] [EXCLUDE files...])
function(crvl_module folder)
  cmake_parse_arguments(ARG "" "" "EXTRA_SOURCES;EXTRA_TESTS;EXCLUDE" ${ARGN})
  file(GLOB sources CONFIGURE_DEPENDS ${CMAKE_CURRENT_SOURCE_DIR}/*.cpp)
  list(FILTER sources EXCLUDE REGEX "_test\\.cpp$")
  foreach(ex IN LISTS ARG_EXCLUDE)
    list(REMOVE_ITEM sources ${CMAKE_CURRENT_SOURCE_DIR}/${ex})
  endforeach()
  list(APPEND sources ${ARG_EXTRA_SOURCES})
  file(GLOB tests CONFIGURE_DEPENDS ${CMAKE_CURRENT_SOURCE_DIR}/*_test.cpp)
  list(APPEND tests ${ARG_EXTRA_TESTS})
  if(sources)
    add_library(crvl_${folder} OBJECT ${sources})
    target_include_directories(crvl_${folder} PUBLIC ${CMAKE_SOURCE_DIR}/src
                               ${CMAKE_SOURCE_DIR}/src/platform/${CRVL_OS})
    set_property(GLOBAL APPEND PROPERTY CRVL_CORE_OBJECTS $<TARGET_OBJECTS:crvl_${folder}>)
  endif()
  if(tests AND CRVL_TESTS)
    set_property(GLOBAL APPEND PROPERTY CRVL_TEST_FOLDERS ${folder})
    set_property(GLOBAL PROPERTY CRVL_TESTS_${folder} ${tests})
  endif()
endfunction()

# Called once after every core folder was added.
function(crvl_core_library)
  get_property(objects GLOBAL PROPERTY CRVL_CORE_OBJECTS)
  add_library(crvl_core STATIC ${objects})
  target_include_directories(crvl_core PUBLIC ${CMAKE_SOURCE_DIR}/src
                             ${CMAKE_SOURCE_DIR}/src/platform/${CRVL_OS})
  find_package(Threads REQUIRED)
  target_link_libraries(crvl_core PUBLIC Threads::Threads)
  if(WIN32)
    target_link_libraries(crvl_core PUBLIC shell32 ole32 oleaut32 uuid advapi32 user32
                          setupapi cfgmgr32 shlwapi)
  else()
    target_link_libraries(crvl_core PUBLIC ${CMAKE_DL_LIBS})
  endif()
  if(NOT CRVL_TESTS)
    return()
  endif()
  get_property(folders GLOBAL PROPERTY CRVL_TEST_FOLDERS)
  foreach(folder IN LISTS folders)
    get_property(tests GLOBAL PROPERTY CRVL_TESTS_${folder})
    add_executable(${folder}_test ${tests})
    target_link_libraries(${folder}_test PRIVATE crvl_core GTest::gmock GTest::gtest_main)
    target_compile_definitions(${folder}_test PRIVATE
      CRVL_SOURCE_DIR="${CMAKE_SOURCE_DIR}" CRVL_BINARY_DIR="${CMAKE_BINARY_DIR}")
    # One CTest entry per binary: under Wine every process start is the slow part.
    add_test(NAME ${folder}_test COMMAND ${folder}_test --gtest_color=no)
    set_tests_properties(${folder}_test PROPERTIES TIMEOUT 900)
  endforeach()
endfunction()
