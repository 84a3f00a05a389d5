/* Ids of the launcher's resources, shared by the resource script and the code. Plain defines,
   because the resource compiler reads this file too. */
#pragma once

/* The bar placeholder of the dialog "PromptDlg". */
#define IDC_BAR_PLACEHOLDER 1002

/* The progress control the dialog puts in the placeholder's place. */
#define IDC_BAR 1003

/* The string table's ids and texts: strings.h. */
