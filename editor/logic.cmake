# The editor's platform-free logic (value texts, control maths, menu tables). It builds and is
# tested without any window system, so it is a library of its own.
add_library(vellicor_editor_logic STATIC
  ${CMAKE_SOURCE_DIR}/editor/readout.cpp
  ${CMAKE_SOURCE_DIR}/editor/control_math.cpp
  ${CMAKE_SOURCE_DIR}/editor/menu_tables.cpp)
target_include_directories(vellicor_editor_logic PUBLIC ${CMAKE_SOURCE_DIR})
target_compile_options(vellicor_editor_logic PRIVATE ${VELLICOR_WARNINGS})
target_link_libraries(vellicor_editor_logic PUBLIC vellicor_engine)
