/* Ids of the launcher's resources, shared by the resource script and the code. Plain defines,
   because the resource compiler reads this file too. */
#pragma once

/* The bar placeholder of the dialog "PromptDlg". */
#define IDC_BAR_PLACEHOLDER 1002

/* The string table. */
#define IDS_NOT_FOUND 201
#define IDS_MISSING_OR_CORRUPT 202
#define IDS_WARNING 203
#define IDS_ANOTHER_INSTALLER 204
#define IDS_COPY_FAILED 205
#define IDS_ENGINE_DAMAGED 206
#define IDS_NO_WORK_DIRECTORY 207
#define IDS_OUT_OF_MEMORY 208
#define IDS_TEXT_TOO_LONG 209
#define IDS_REDIRECTION_FOLDER 210
#define IDS_CLEANUP_SCRIPT_INCOMPLETE 211
