#pragma once

#include "trayicon/TrayPlatform.h"

#include <windows.h>

#include <shellapi.h>

namespace tarnwick {

// The shell's ANSI notify-icon record up to the balloon fields, the version the component
// sends. With 32-bit handles it is the 488-byte record; with the 64-bit handles of this build
// hWnd and hIcon take 8 bytes each and alignment adds 8, which makes 504.
using AnsiNotifyIconRecord = NOTIFYICONDATAA;
constexpr DWORD AnsiNotifyIconRecordSize = NOTIFYICONDATAA_V2_SIZE;
static_assert(AnsiNotifyIconRecordSize == (sizeof(void*) == 4 ? 488 : 504));
static_assert(offsetof(NOTIFYICONDATAA, szTip) == (sizeof(void*) == 4 ? 24 : 40));
static_assert(sizeof(NOTIFYICONDATAA{}.szTip) == TrayIconRecord::TipSize);

// The component's record in the shell's layout; the fields it never writes stay zero.
AnsiNotifyIconRecord ToAnsiRecord(const TrayIconRecord& record);

} // namespace tarnwick
