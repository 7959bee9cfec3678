// The user's temporary folder as a path of the ANSI code page, which every
// path of the launcher is.
#ifndef VEL_LAUNCHER_ANSITEMPPATH_H
#define VEL_LAUNCHER_ANSITEMPPATH_H

#include <cstdint>

// The temporary folder's path, with its trailing backslash, into buffer of
// capacity bytes; its length, or 0 when there is none that stands for the
// folder.
//
// GetTempPathA alone turns the characters the code page lacks into "?"
// (a Cyrillic user name on a Western European Windows): a path that is not
// the folder, or worse, another one. So the wide path is converted, and
// used only when every character converts as it is; else its short (8.3)
// form, which is plain ASCII where the volume keeps short names. Without
// one, or when neither fits the buffer, the answer is 0.
int32_t AnsiTempPath(char* buffer, int32_t capacity);

// wide in code page codePage (AnsiTempPath gives the ANSI code page's),
// exactly, into buffer of capacity bytes: its length, or 0 when a character
// has no exact form there or the text does not fit. Code page 65001 (the
// "UTF-8 for worldwide language support" option) spells every character.
int32_t ExactAnsi(const wchar_t* wide, uint32_t codePage, char* buffer, int32_t capacity);

#endif
