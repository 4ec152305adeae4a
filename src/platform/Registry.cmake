# The registry accessor backends: the real registry on Windows, the REGEDIT4 file store
# elsewhere. Both implement the interface of proxyconfig.
if(WIN32)
    list(APPEND TARNWICK_PLATFORM_SOURCES win32/Registry.cpp)
    list(APPEND TARNWICK_PLATFORM_LIBS tarnwick_proxyconfig advapi32)
else()
    list(APPEND TARNWICK_PLATFORM_SOURCES posix/Registry.cpp posix/RegistryFile.cpp)
    list(APPEND TARNWICK_PLATFORM_LIBS tarnwick_proxyconfig)
endif()
