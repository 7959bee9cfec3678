// Text routines over fixed arrays of 8-bit ANSI characters.
//
// Every text of the system lives in a fixed array and ends at its first zero
// byte. These free functions are the only way texts are measured, copied,
// compared and searched; none allocates and none keeps state. Lengths and
// positions are 32-bit signed.
#ifndef VEL_SERVICES_TEXT_H
#define VEL_SERVICES_TEXT_H

#include <cstdint>

// Maps a byte to the form the folding search compares: a-z to A-Z, and the
// accented letters of code page 437 (0x80-0xA5) to their plain capitals.
// Windows ANSI accented letters (0xC0-0xFF) map to themselves.
extern const unsigned char FoldTable[256];

// Thrown by DivideUnsigned for a zero divisor.
struct CtExceptionDiv0 {};

// Bytes before the terminating zero; 0 for a null text.
int32_t TextLength(const char* text);

// Appends text behind buffer's text. The caller guarantees the room: use it
// only where both sizes are known; everything that writes into a fixed
// buffer uses TextAppendBounded. Returns the new length; 0 for null pointers.
int32_t TextAppend(char* buffer, const char* text);

// Appends text behind buffer's text only when the whole of it and the
// terminator fit into capacity bytes. Returns the new length, or -1 with the
// buffer unchanged when it would not fit (or a pointer is null).
int32_t TextAppendBounded(char* buffer, int32_t capacity, const char* text);

// Bounded copy: at most capacity - 1 bytes, always terminated. With a
// position, copying starts at *position and the end is stored back, so that
// pieces can be appended one after the other. Returns the length reached.
int32_t TextCopy(char* destination, const char* source, int32_t capacity,
                 int32_t* position);

// 1 when the first n bytes of both texts are equal (zero bytes included).
int32_t TextEqualN(int32_t n, const char* text, const char* other);

// 1-based position of pattern in text, 0 when absent. exact 0 compares both
// sides through FoldTable. length 0 measures text; a given length lets the
// search run over zero bytes.
int32_t TextFind(const char* text, const char* pattern, int32_t exact, int32_t length);

// The byte just behind the first occurrence of pattern, or null.
const char* TextFindAfter(const char* text, const char* pattern, int32_t exact,
                          int32_t length);

// Copies the value that follows key (found in folding mode within length)
// up to the end of its line into buffer; bytes beyond capacity - 1 are
// skipped. Returns the bytes stored; 0 with buffer untouched when the key is
// absent.
int32_t TextValue(const char* text, int32_t length, const char* key, char* buffer,
                  int32_t capacity);

// Shift-and-subtract division of unsigned 32-bit values. A zero divisor
// throws CtExceptionDiv0, which nothing catches; where the code is built
// without exceptions (the Windows programs) it ends the program directly.
void DivideUnsigned(uint32_t dividend, uint32_t divisor, uint32_t* quotient,
                    uint32_t* remainder);

// The digits of value in base (2 to 16), most significant first, into buffer,
// which must hold 13 bytes. Returns buffer, or null with buffer untouched for
// a base outside 2..16 or a value that needs more than 12 digits.
char* NumberToText(uint32_t value, char* buffer, int32_t base);

#endif
