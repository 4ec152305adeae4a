# The Linux registry stand-in: parse and format times of large stores, self-timing.
if(NOT WIN32)
    add_executable(store_bench store_bench.cpp)
    target_link_libraries(store_bench PRIVATE tarnwick_platform)
endif()
