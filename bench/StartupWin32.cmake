# Start-up benchmark of the Windows program under Wine against a floor program.
if(NOT WIN32 OR NOT TARGET Tarnwick)
    return()
endif()
# Same compile and link flags as the program: only the code differs.
add_executable(tarnwick_startup_floor_win32 WIN32 startup_floor_win32.cpp)
target_link_libraries(tarnwick_startup_floor_win32 PRIVATE user32 shell32)
target_link_options(tarnwick_startup_floor_win32 PRIVATE $<$<NOT:$<CONFIG:Debug>>:-s>)

# The same floor with the program's manifest: what the manifest alone costs at the start.
add_executable(tarnwick_startup_floor_win32_manifest WIN32 startup_floor_win32.cpp
    startup_floor_win32.rc)
target_link_libraries(tarnwick_startup_floor_win32_manifest PRIVATE user32 shell32)
target_link_options(tarnwick_startup_floor_win32_manifest PRIVATE $<$<NOT:$<CONFIG:Debug>>:-s>)

# `cmake --build build/windows --target bench_startup_wine` runs it.
add_custom_target(bench_startup_wine
    COMMAND ${CMAKE_CURRENT_SOURCE_DIR}/startup_bench_wine.sh ${CMAKE_BINARY_DIR}
    DEPENDS tarnwick_startup_floor_win32 tarnwick_startup_floor_win32_manifest Tarnwick
    USES_TERMINAL
    COMMENT "Start-up time and peak working set of Tarnwick.exe under Wine against the floor")
