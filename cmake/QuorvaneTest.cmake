# Test programs are named test_<folder> (GoogleTest, one per folder of src/) or
# test_app_<unit> (Qt Test, one per window).

# quorvane_add_test(NAME SOURCES a.cpp b.cpp LIBS lib... [LABELS core|integration])
# A GoogleTest program whose tests are registered one by one with CTest.
function(quorvane_add_test name)
  cmake_parse_arguments(T "" "" "SOURCES;LIBS;LABELS" ${ARGN})
  if(NOT T_LABELS)
    set(T_LABELS core)
  endif()
  find_package(GTest REQUIRED)
  include(GoogleTest)
  add_executable(${name} ${T_SOURCES})
  target_link_libraries(${name} PRIVATE ${T_LIBS} GTest::gtest GTest::gtest_main GTest::gmock)
  # Tables of cases leave the fields a case does not need to their defaults.
  target_compile_options(${name} PRIVATE -Wno-missing-field-initializers)
  target_compile_definitions(${name} PRIVATE
    QUORVANE_SOURCE_DIR="${PROJECT_SOURCE_DIR}"
    QUORVANE_BINARY_DIR="${PROJECT_BINARY_DIR}")
  gtest_discover_tests(${name} DISCOVERY_TIMEOUT 60 PROPERTIES LABELS "${T_LABELS}" TIMEOUT 600)
endfunction()

# quorvane_add_qt_test(NAME SOURCE [HEADER...])
# A Qt Test program that drives the windows on the offscreen platform; the
# headers are shared test helpers with Qt objects of their own.
function(quorvane_add_qt_test name source)
  add_executable(${name} ${source} ${ARGN})
  set_target_properties(${name} PROPERTIES AUTOMOC ON)
  target_link_libraries(${name} PRIVATE quorvane_gui Qt6::Test)
  target_compile_options(${name} PRIVATE -Wno-missing-field-initializers)
  target_compile_definitions(${name} PRIVATE
    QUORVANE_HOMEPAGE="${QUORVANE_HOMEPAGE}"
    QUORVANE_SOURCE_DIR="${PROJECT_SOURCE_DIR}"
    QUORVANE_BINARY_DIR="${PROJECT_BINARY_DIR}")
  add_test(NAME ${name} COMMAND ${name})
  set_tests_properties(${name} PROPERTIES LABELS gui TIMEOUT 300 ENVIRONMENT "QT_QPA_PLATFORM=offscreen")
endfunction()
