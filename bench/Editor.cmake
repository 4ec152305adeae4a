# Rule editor: making it at the start, opening it over a long rule file, and scrolling through
# the long table. Wrapped in conditions rather than return(), which would end the including
# list too.
if(TARNWICK_GUI AND TARGET tarnwick_ui_qt)
    find_package(benchmark REQUIRED)
    add_executable(editor_bench ${CMAKE_CURRENT_SOURCE_DIR}/editor_bench.cpp)
    target_link_libraries(editor_bench PRIVATE tarnwick_ui_qt benchmark::benchmark)
endif()
# The Windows editor times itself (Google Benchmark is not packaged for mingw).
if(WIN32 AND TARGET tarnwick_ui_win32)
    add_executable(editor_bench_win32 ${CMAKE_CURRENT_SOURCE_DIR}/editor_bench_win32.cpp)
    target_link_libraries(editor_bench_win32 PRIVATE tarnwick_ui_win32)
endif()
