# Name resolution for the rule tester.
if(WIN32)
    list(APPEND TARNWICK_PLATFORM_SOURCES win32/HostNames.cpp)
    list(APPEND TARNWICK_PLATFORM_LIBS ws2_32)
else()
    list(APPEND TARNWICK_PLATFORM_SOURCES posix/HostNames.cpp)
endif()
