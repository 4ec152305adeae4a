# GoogleTest is built from Debian's sources (/usr/src/googletest), so the same
# version serves the native build and the mingw-w64 build.
macro(tarnwick_use_googletest)
    set(GOOGLETEST_SOURCE_DIR "/usr/src/googletest" CACHE PATH "GoogleTest sources")
    set(INSTALL_GTEST OFF CACHE BOOL "" FORCE)
    set(BUILD_GMOCK ON CACHE BOOL "" FORCE)
    set(gtest_force_shared_crt ON CACHE BOOL "" FORCE)
    add_subdirectory(${GOOGLETEST_SOURCE_DIR} ${CMAKE_BINARY_DIR}/googletest EXCLUDE_FROM_ALL SYSTEM)
    include(GoogleTest)
endmacro()

# tarnwick_add_gtest(<name> SOURCES ... LIBS ...)
# Linux: every test case is its own CTest test. Windows (under Wine): one CTest
# test per executable, since discovering cases would start Wine once more per build.
function(tarnwick_add_gtest name)
    cmake_parse_arguments(T "" "" "SOURCES;LIBS" ${ARGN})
    add_executable(${name} ${T_SOURCES})
    target_link_libraries(${name} PRIVATE ${T_LIBS} GTest::gmock GTest::gtest_main)
    target_compile_definitions(${name} PRIVATE
        TARNWICK_TEST_DATA="${PROJECT_SOURCE_DIR}/tests/data")
    if(CMAKE_CROSSCOMPILING)
        add_test(NAME ${name} COMMAND ${name})
    else()
        # The desktop's proxy settings stay out of reach of every test (an in-process
        # GSettings backend counts as absent, and no KDE session): tests that mean to reach
        # them choose a backend and a file of their own.
        gtest_discover_tests(${name} DISCOVERY_MODE PRE_TEST
            PROPERTIES ENVIRONMENT "GSETTINGS_BACKEND=memory;XDG_CURRENT_DESKTOP=;KDE_FULL_SESSION=")
    endif()
endfunction()
