// The program reference stamp and its reader.
//
// The program carries in its initialised data a short identification text:
// a marker byte 0xFF, a tag between stars, and fields each opened by "!".
// A keyed field is its key followed directly by its value. The launcher
// reads the field "Z000", whose characters 10 to 13 are the product version
// shown in every caption.
#ifndef VEL_LAUNCHER_SERIALREF_H
#define VEL_LAUNCHER_SERIALREF_H

#include <cstdint>

// The stamp stored in the program, marker byte first.
extern char ReferenceStamp[];

// Base of the program references; it carries nothing the launcher uses.
class REF_PROG {};

class SERIAL_REF : public REF_PROG {
public:
    SERIAL_REF();

    // Finds a stamp in area (null: the program's own), copies its text from
    // the opening star (at most 511 characters) and answers 1; answers 0,
    // with the text left empty, when there is none. No byte at or beyond
    // limit is read, nor (when the search has to move) at or beyond length.
    int32_t Load(const char* area, int32_t length, int32_t limit);

    // The opening star of the first valid stamp in area, or null.
    static const char* FindStamp(const char* area, int32_t length, int32_t limit);

    // 1, and area moved forward by index, when a valid tag opens at
    // area[index]: a star, 4 to 22 characters of [*_A-Za-z0-9] (a star among
    // the first four does not close it), then "*!", all within 24 characters
    // and within limit. Else 0.
    static int32_t CheckTag(const char*& area, int32_t index, int32_t limit);

    // Moves cursor just behind the next "!" of the text (to its terminator
    // when there is none); a null cursor starts at the text's beginning.
    void NextField(const char*& cursor) const;

    // Copies the value of the first field (after the one following the tag)
    // that begins with key, at most maximum characters and not terminated.
    // Answers the count; 0 when the key is absent or its value empty.
    int32_t GetValue(const char* key, char* destination, int32_t maximum) const;

    char text[512];
    const char* foundAt;
};

#endif
