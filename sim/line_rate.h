#pragma once
// The line rate of a pseudo-terminal, read and set as an exact number of
// bits per second (any integer rate, not only the standard ones).

#include <cstdint>

namespace bq::sim {

// The output rate the line is set to; 0 when it cannot be read.
uint32_t ReadLineRate(int fd);
// Sets input and output rate; false (errno set) on failure.
bool SetLineRate(int fd, uint32_t rate);

}  // namespace bq::sim
