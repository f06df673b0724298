/* Resource ids of the tray program CRVL.exe: its icons. Shared by the resource script
 * and the program. Menu icons carry the id of the menu command that shows them. */
#ifndef CRVL_RESOURCES_PROGRAM_RESOURCES_H
#define CRVL_RESOURCES_PROGRAM_RESOURCES_H

#define CRVL_ICON_PROGRAM 1
#define CRVL_ICON_IDLE 10
#define CRVL_ICON_BUSY 11

#define CRVL_ICON_EXIT 100
#define CRVL_ICON_STOP 102
#define CRVL_ICON_LOGS 103
#define CRVL_ICON_PLAN 104
#define CRVL_ICON_CONFIGURATION 107
#define CRVL_ICON_LANGUAGE 109
#define CRVL_ICON_HELP 111
#define CRVL_ICON_ONLINE 113
#define CRVL_ICON_UPDATES 114
#define CRVL_ICON_INFORMATION 115
#define CRVL_ICON_CONFIGURE_JOBS 118
#define CRVL_ICON_JOBS 119

#define CRVL_VERSION_TEXT "24.08"
#define CRVL_VERSION_NUMBERS 24, 8, 0, 0

#endif
