/* The launcher's string table: the one list of its user-visible texts. The resource script
   compiles it into the executable; the host build's pretend machine serves the same texts to the
   tests; the code names them by the enumeration in launcher/strings.h. Plain preprocessor, because
   the resource compiler reads this file too.

   Each entry: the name, the id, the text. */
#pragma once

#define TOVALIN_LAUNCHER_STRINGS(X)                                                           \
  X(IDS_NOT_FOUND, 201, " was not found. ")                                                   \
  X(IDS_MISSING_OR_CORRUPT, 202, "Installation file is missing or corrupt!")                  \
  X(IDS_WARNING, 203, "Warning")                                                              \
  X(IDS_ANOTHER_INSTALLER, 204, "Another installer is running. You must finish it first!")    \
  X(IDS_COPY_FAILED, 205, "Error copy file from '%s' to '%s'")                                \
  X(IDS_ENGINE_DAMAGED, 206, "The installer engine in '%s' is damaged and was not started.")  \
  X(IDS_NO_WORK_DIRECTORY, 207, "Cannot create a work directory in '%s' (%s) or in '%s'")     \
  X(IDS_OUT_OF_MEMORY, 208, "Not enough memory to start the installation.")                   \
  X(IDS_TEXT_TOO_LONG, 209, "A path or command line is too long: %s")                         \
  X(IDS_REDIRECTION_FOLDER, 210,                                                              \
    "The redirection folder '%s' beside the installer is not allowed.")                       \
  X(IDS_CLEANUP_SCRIPT_INCOMPLETE, 211, "The cleanup script '%s' could not be written whole") \
  X(IDS_INSTALLER_DAMAGED, 212,                                                               \
    "The installer '%s' is damaged (in '%s'). Please download it again.")                     \
  X(IDS_FOLDER_NAME_UNUSABLE, 213,                                                            \
    "Cannot use the folder name in '%s'. Move the installer, or set TMP, to a folder with a " \
    "plain name.")                                                                            \
  X(IDS_ENGINE_NOT_STARTED, 214, "The installer engine '%s' could not be started")
