# The editor's platform-free logic (value texts, control maths, menu tables, every parameter's
# text). It builds and is tested without any window system, so it is a library of its own; every
# format lists its parameters with it.
add_library(vellicor_editor_logic STATIC
  ${CMAKE_SOURCE_DIR}/editor/readout.cpp
  ${CMAKE_SOURCE_DIR}/editor/control_math.cpp
  ${CMAKE_SOURCE_DIR}/editor/menu_tables.cpp
  ${CMAKE_SOURCE_DIR}/editor/parameter_text.cpp)
target_include_directories(vellicor_editor_logic PUBLIC ${CMAKE_SOURCE_DIR})
target_compile_options(vellicor_editor_logic PRIVATE ${VELLICOR_WARNINGS})
# The envelope panel's choice encodings live with the envelope arithmetic in patch/.
target_link_libraries(vellicor_editor_logic PUBLIC vellicor_engine vellicor_patch)
