# Start-up benchmark of the program against a floor program; the windows need Qt, so the
# Windows build has none of it.
if(NOT TARNWICK_GUI)
    return()
endif()
find_package(X11 REQUIRED)

# Same compile and link flags as the program: only the code differs.
add_executable(tarnwick_startup_floor startup_floor.cpp)
target_link_libraries(tarnwick_startup_floor PRIVATE Qt6::Widgets)

add_executable(tarnwick_startup_probe startup_probe.cpp)
target_link_libraries(tarnwick_startup_probe PRIVATE X11::X11)

# `cmake --build DIR --target bench_startup` runs it.
if(TARGET Tarnwick)
    add_custom_target(bench_startup
        COMMAND ${CMAKE_CURRENT_SOURCE_DIR}/startup_bench.sh ${CMAKE_BINARY_DIR}
        DEPENDS tarnwick_startup_floor tarnwick_startup_probe Tarnwick
        USES_TERMINAL
        COMMENT "Start-up time and peak memory of Tarnwick against the floor program")
endif()
