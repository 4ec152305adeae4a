# Rule editor: opening it over a long rule file, and scrolling through the long table.
# Wrapped in a condition rather than return(), which would end the including list too.
if(TARNWICK_GUI AND TARGET tarnwick_ui_qt)
    find_package(benchmark REQUIRED)
    add_executable(editor_bench ${CMAKE_CURRENT_SOURCE_DIR}/editor_bench.cpp)
    target_link_libraries(editor_bench PRIVATE tarnwick_ui_qt benchmark::benchmark)
endif()
