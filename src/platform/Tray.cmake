# The notification-area backends of the tray icon component (src/trayicon).
# Windows: the shell's notification area, hidden message windows and timers, in tarnwick_platform.
# Qt: QSystemTrayIcon, QTimer, QMenu and event filters, as the separate tarnwick_platform_qt;
# Qt D-Bus asks the session bus whether the notification area is a StatusNotifierItem host.
if(WIN32)
    list(APPEND TARNWICK_PLATFORM_SOURCES
        win32/TrayWin32.cpp
    )
    list(APPEND TARNWICK_PLATFORM_LIBS tarnwick_trayicon user32 shell32 comctl32)
endif()

if(TARNWICK_GUI)
    add_library(tarnwick_platform_qt STATIC
        qt/QtTray.h
        qt/QtTray.cpp
    )
    set_target_properties(tarnwick_platform_qt PROPERTIES AUTOMOC ON)
    target_include_directories(tarnwick_platform_qt PUBLIC ${PROJECT_SOURCE_DIR}/src)
    target_link_libraries(tarnwick_platform_qt PUBLIC tarnwick_trayicon tarnwick_platform Qt6::Widgets
                      Qt6::DBus)
endif()
