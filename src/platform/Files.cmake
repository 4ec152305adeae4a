if(WIN32)
    list(APPEND TARNWICK_PLATFORM_SOURCES
        win32/LocalFileSystem.cpp
        win32/CodePage.cpp
        win32/ProgramFolders.cpp
    )
else()
    list(APPEND TARNWICK_PLATFORM_SOURCES
        posix/LocalFileSystem.cpp
        posix/ReplaceFile.cpp
        posix/CodePage.cpp
        posix/ProgramFolders.cpp
    )
endif()
