#pragma once

// Resource identifiers of the Windows program (shared by the resource script and the code).
#define IDI_APPLICATION_ICON 1 // the emblem in blue: the executable's and the windows' icon
#define IDI_EMBLEM_OFF 2       // the emblem in grey (switch off)
#define IDI_SETTINGS 10        // 32 x 32 toolbar pictures of the main window
#define IDI_EXIT 11
#define IDI_HELP 12
#define IDI_SWITCH 13
#define IDI_INSERT 20 // 20 x 20 toolbar pictures of the rule editor
#define IDI_DELETE 21
