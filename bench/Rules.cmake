# Rule module benchmarks (not tests): a 10,000-rule table.
if(WIN32)
    # Google Benchmark is not packaged for mingw: a self-timing comparison with the platform's
    # ini reader, run by hand under Wine.
    add_executable(rules_profile_bench rules_profile_bench.cpp)
    target_link_libraries(rules_profile_bench PRIVATE tarnwick_rules)
else()
    find_package(benchmark QUIET)
    if(benchmark_FOUND)
        add_executable(rules_bench rules_bench.cpp)
        target_link_libraries(rules_bench PRIVATE tarnwick_rules benchmark::benchmark)
    else()
        message(STATUS "Google Benchmark (libbenchmark-dev) not found: rules_bench is not built")
    endif()
endif()
