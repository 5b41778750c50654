# The tests that need neither Qt nor the tool, as kestrum_core_tests: the Windows builds run
# them under Wine. GoogleTest has no MinGW package: it is built from Debian's own sources.
set(KESTRUM_GTEST_SOURCE_DIR /usr/src/googletest CACHE PATH "GoogleTest sources (Debian package googletest)")
set(BUILD_GMOCK OFF CACHE BOOL "" FORCE)
set(INSTALL_GTEST OFF CACHE BOOL "" FORCE)
set(gtest_disable_pthreads ON CACHE BOOL "" FORCE)
add_subdirectory(${KESTRUM_GTEST_SOURCE_DIR} ${CMAKE_CURRENT_BINARY_DIR}/googletest EXCLUDE_FROM_ALL)

set(KESTRUM_CORE_TEST_SOURCES
  component/edit_buffer_post_test.cpp
  component/korvane_test.cpp
  icons/qev_icon_test.cpp
  import/mif_import_test.cpp
  import/mif_lines_test.cpp
  import/object_sink_test.cpp
  import/polish_icons_test.cpp
  import/polish_import_test.cpp
  import/polish_labels_test.cpp
  import/text_lines_test.cpp
  interact/hit_test_test.cpp
  interact/mouse_test.cpp
  interact/text_search_test.cpp
  io/file_open_test.cpp
  io/map_damage_test.cpp
  io/map_layout_test.cpp
  io/map_roundtrip_test.cpp
  io/map_versions_test.cpp
  model/model_test.cpp
  model/polygon_rings_test.cpp
  model/rounding_test.cpp
  render/image_decoder_test.cpp
  render/map_renderer_test.cpp
  render/raster_draw_object_test.cpp
  render/raster_test.cpp
  render/spatial_index_test.cpp
  render/street_label_test.cpp)
add_executable(kestrum_core_tests ${KESTRUM_CORE_TEST_SOURCES})
target_include_directories(kestrum_core_tests PRIVATE ${CMAKE_CURRENT_SOURCE_DIR})
target_link_libraries(kestrum_core_tests PRIVATE kestrum_core kestrum_warnings gtest gtest_main)
# Paths as the Windows programs see them under Wine: drive Z: is the root of the file system.
target_compile_definitions(kestrum_core_tests PRIVATE
  KESTRUM_DATA_DIR="Z:${KESTRUM_DATA_DIR}"
  KESTRUM_TEST_DATA_DIR="Z:${CMAKE_CURRENT_SOURCE_DIR}/data"
  KESTRUM_SHARED_DIR="Z:${KESTRUM_SHARED_DIR}")
