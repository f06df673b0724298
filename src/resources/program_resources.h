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

/* Dialog templates (dialogs.rc). The language dialog keeps its traditional number. */
#define CRVL_DLG_LANGUAGE 90
#define CRVL_DLG_REGISTER 1001
#define CRVL_DLG_JOB_EDITOR 1002
#define CRVL_DLG_FOLDER_PAIR 1003
#define CRVL_DLG_DATE_CHOOSER 1004
#define CRVL_DLG_TASKS 1005
#define CRVL_DLG_PLAN 1006
#define CRVL_DLG_LOGS 1007
#define CRVL_DLG_CONFIGURATION 1008
#define CRVL_DLG_PLUGIN_ENTRY 1009
#define CRVL_DLG_PASSWORD 1010
#define CRVL_DLG_PRODUCT_INFO 1011

/* Controls without a text of their own. Controls that show a text carry the text's
 * string id, so that setDialogTexts finds them. */
#define CRVL_ID_LANGUAGE_LIST 91
#define CRVL_ID_PASSWORD 5901
#define CRVL_ID_PASSWORD_MASK 5902
#define CRVL_ID_PRODUCT_NAME 7020
#define CRVL_ID_SETTINGS_PATH 7021
#define CRVL_ID_LOG_LIST 3305
#define CRVL_ID_TASK_LIST 3102
#define CRVL_ID_PLAN_JOB 3201
#define CRVL_ID_PLAN_KIND 3205
#define CRVL_ID_PLAN_DELAY 3207
#define CRVL_ID_PLAN_DELAY_UNIT 3208
#define CRVL_ID_PLAN_REPEAT 3210
#define CRVL_ID_PLAN_REPEAT_UNIT 3211
#define CRVL_ID_PLAN_PERIOD 3213
#define CRVL_ID_PLAN_DATE 3214
#define CRVL_ID_PLAN_TIME 3215
#define CRVL_ID_PLAN_CHOOSER 3219
#define CRVL_ID_PLAN_WEEKDAY 3220 /* Sunday; Monday to Saturday follow */
#define CRVL_ID_DATE_MONTH 2201
#define CRVL_ID_DATE_YEAR 2202
#define CRVL_ID_DATE_YEAR_SPIN 2203
#define CRVL_ID_DATE_GRID 2204
#define CRVL_ID_DATE_HOUR 2205
#define CRVL_ID_DATE_MINUTE 2206
#define CRVL_ID_DATE_SECOND 2207
#define CRVL_ID_REGISTER_LIST 3010
#define CRVL_ID_PLUGIN_NAME 5532
#define CRVL_ID_PLUGIN_PATH 5534
#define CRVL_ID_PLUGIN_BROWSE 5535
#define CRVL_ID_PLUGIN_PARAMETERS 5538

#define CRVL_VERSION_TEXT "24.08"
#define CRVL_VERSION_NUMBERS 24, 8, 0, 0

#endif
