# Test programs of the Windows build, run under Wine by scripts/test-windows.
# Only suites that need no POSIX facility and no Linux-only library (giflib,
# libpng and cpp-httplib have no Windows build here): image decoding and the
# program-level tests stay on the Linux side.
find_package(GTest REQUIRED CONFIG)
include(GoogleTest)

add_library(zk_testsupport STATIC
  common/TestPlatform.cpp
  common/MemoryPixelSource.cpp
  common/RecordingGraphics.cpp
  common/TestMain.cpp
  common/ThreadCheck.cpp)
target_link_libraries(zk_testsupport PUBLIC zk_app GTest::gtest)

set(ZK_WINDOWS_TESTS
  support/dates_test.cpp
  support/local_time_test.cpp
  support/logging_test.cpp
  support/log_faults_test.cpp
  support/properties_test.cpp
  support/platform_contract_test.cpp
  support/program_run_test.cpp
  support/line_splitter_test.cpp
  encoders/pixel_runs_test.cpp
  chart/canvas_test.cpp
  chart/chart_data_test.cpp
  chart/chart_frame_test.cpp
  chart/chart_layout_test.cpp
  chart/configuration_test.cpp
  chart/data_record_test.cpp
  chart/data_series_test.cpp
  chart/text_test.cpp
  chart/time_axis_test.cpp
  chart/trading_calendar_test.cpp
  chart/pinned_images_test.cpp
  app/startup_test.cpp
  app/source_csv_test.cpp
  app/data_merge_test.cpp
  launcher/split_command_line_test.cpp)
file(GLOB ZK_WINDOWS_ONLY_TESTS CONFIGURE_DEPENDS ${CMAKE_CURRENT_SOURCE_DIR}/windows/*_test.cpp)

# Wine gives a process the Windows zone whose present rules match TZ's:
# for America/Sao_Paulo (no summer time since 2019) a zone without its past
# years' rules, which a Windows system set to that zone has.
set(ZK_LOCAL_TIME_LEFT_OUT LocalTimeInSaoPaulo.PastYearsFollowTheirOwnRules)

foreach(src ${ZK_WINDOWS_TESTS} ${ZK_WINDOWS_ONLY_TESTS})
  get_filename_component(name ${src} NAME_WE)
  add_executable(${name} ${src})
  target_link_libraries(${name} PRIVATE zk_testsupport)
  if(name STREQUAL "local_time_test")
    zk_add_local_time_tests()
    continue()
  endif()
  if(name STREQUAL "pinned_images_test")
    zk_add_pinned_images_test()
    continue()
  endif()
  # The Wine prefix exists only when the tests run: list the tests then.
  gtest_discover_tests(${name} WORKING_DIRECTORY ${CMAKE_CURRENT_BINARY_DIR}
                       DISCOVERY_MODE PRE_TEST DISCOVERY_TIMEOUT 120 PROPERTIES TIMEOUT 300)
endforeach()

foreach(test split_command_line_test)
  if(TARGET ${test})
    target_link_libraries(${test} PRIVATE zk_launcher_core)
  endif()
endforeach()
# The shipped calendars are read from the sources.
target_compile_definitions(trading_calendar_test PRIVATE ZK_SOURCE_DIR="${CMAKE_SOURCE_DIR}")

# The update-program tests start this program.
add_executable(zk_child_program windows/child_program.cpp)
if(TARGET update_program_windows_test)
  target_compile_definitions(update_program_windows_test PRIVATE ZK_CHILD_PROGRAM="$<TARGET_FILE:zk_child_program>")
  add_dependencies(update_program_windows_test zk_child_program)
endif()
