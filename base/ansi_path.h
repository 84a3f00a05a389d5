// Passing a path to an ANSI program.
//
// The launcher and the engine it starts are ANSI programs: every path they use is text in the
// system's ANSI code page. The system names files in UTF-16, though, and a folder whose name the
// code page cannot hold (a Cyrillic user name on a western system, say) comes out of the ANSI
// calls with question marks, naming nothing. Such a path has another form that does name the same
// file: its short 8.3 form, plain ASCII on every volume that keeps short names. This chooses the
// form to pass on, given how the platform converts text and finds short forms.
#pragma once

#include <cstdint>

namespace text {

struct AnsiPathServices {
  // Converts a NUL-terminated UTF-16 path into out, NUL included. True when it fitted and the code
  // page holds every character; otherwise out holds what fitted, with a stand-in for each
  // character it lacks, for messages.
  bool (*to_ansi)(const uint16_t* wide, char* out, uint32_t capacity);
  // The short form of an existing path into out (UTF-16, NUL included); false when there is none
  // or it does not fit.
  bool (*short_form)(const uint16_t* wide, uint16_t* out, uint32_t capacity);
};

enum AnsiPathResult : int {
  ANSI_PATH_FAILED = 0,  // does not fit, or cannot be read
  ANSI_PATH_WHOLE = 1,   // the path as the system names it
  ANSI_PATH_SHORT = 2,   // with its folders, and if need be its own name, in short form
  ANSI_PATH_LOST = 3,    // no form survives the code page; out holds the one with stand-ins
};

// Longest wide path the chooser handles, its NUL included.
constexpr uint32_t kWidePathCapacity = 1024;

// Writes the form of wide to pass on into out (capacity bytes). The path itself when the code
// page holds it; else its folders in short form followed by its own name, which keeps a file's
// name as its author gave it where the code page holds that name; else its whole short form.
AnsiPathResult ChooseAnsiPath(const uint16_t* wide, const AnsiPathServices& services, char* out,
                              uint32_t capacity);

// The same as the platform's path services give it: the length of the form written (the whole
// path or its short form), else 0 with *lost telling whether it was LOST (out then holds the path
// with stand-ins, for messages) or FAILED (out empty).
uint32_t ChooseAnsiPathLength(const uint16_t* wide, const AnsiPathServices& services, char* out,
                              uint32_t capacity, bool* lost);

}  // namespace text
