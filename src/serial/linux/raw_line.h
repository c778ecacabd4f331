#pragma once
// Line settings through the kernel's termios2 interface, which takes any integer
// baud rate. Kept apart behind a C-style interface because the kernel's termios
// header and the C library's <termios.h> cannot be included in one file.

namespace bq::rawline {

// Raw 8N1, no flow control, reads return as soon as one byte is there (VMIN 1),
// input and output speed both set to rate. Returns 0 or an errno value.
int ApplyRaw8N1(int fd, unsigned rate);
// Changes only the speed of both directions. Returns 0 or an errno value.
int SetRate(int fd, unsigned rate);
// Reads back both speeds. Returns 0 or an errno value.
int GetRates(int fd, unsigned* inputRate, unsigned* outputRate);

}  // namespace bq::rawline
