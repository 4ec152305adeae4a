# The desktop's own proxy settings beside the registry values (LocalDesktopProxyStores):
# GSettings through GIO and KDE's kioslaverc on Linux, none on Windows.
list(APPEND TARNWICK_PLATFORM_SOURCES LocalProxySwitch.cpp)
if(WIN32)
    list(APPEND TARNWICK_PLATFORM_SOURCES win32/DesktopProxy.cpp)
else()
    find_package(PkgConfig REQUIRED)
    pkg_check_modules(GIO REQUIRED IMPORTED_TARGET gio-2.0)
    list(APPEND TARNWICK_PLATFORM_SOURCES
        posix/DesktopProxy.cpp
        posix/GnomeProxySettings.cpp
        posix/KdeProxySettings.cpp
    )
    list(APPEND TARNWICK_PLATFORM_LIBS PkgConfig::GIO)
endif()
