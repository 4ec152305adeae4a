# How the program sits in the desktop session: starting at login (the XDG autostart entry, the
# registry's Run key) and one running copy per user (a named mutex and a message window on
# Windows; a lock file and a local socket, served by the Qt event loop, elsewhere).
if(WIN32)
    list(APPEND TARNWICK_PLATFORM_SOURCES
        win32/StartAtLogin.cpp
        win32/SingleInstance.cpp
    )
    list(APPEND TARNWICK_PLATFORM_LIBS advapi32 user32)
else()
    list(APPEND TARNWICK_PLATFORM_SOURCES posix/StartAtLogin.cpp)
endif()

if(TARNWICK_GUI AND NOT WIN32)
    add_library(tarnwick_single_instance STATIC qt/SingleInstance.cpp)
    target_include_directories(tarnwick_single_instance PUBLIC ${PROJECT_SOURCE_DIR}/src)
    target_link_libraries(tarnwick_single_instance PUBLIC tarnwick_platform Qt6::Core)
endif()
