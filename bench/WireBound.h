// The least time a read can take on the wire, from what crossed it.
//
// An answered transaction costs its request and reply bytes at ten bit times
// each (start bit, eight data bits, stop bit) plus the meter's turnaround
// between them. A transaction the meter is meant not to answer (the 3x
// identification a ModBus meter ignores) costs what the engine is configured
// to wait for silence: its 10 ms turnaround pause, the packet time-out with
// its last 10 ms look, and the engine's pause after the attempt (200 ms 3x,
// 100 ms for ModBus reads and writes, none for the ModBus identification).
// Its request bytes travel during that wait and are not counted again.
#pragma once

#include <cstddef>
#include <cstdint>

struct ReadTraffic {
  uint32_t baud = 9600;
  uint32_t turnaroundMs = 5;
  size_t answered = 0;       // transactions the meter answered
  size_t answeredBytes = 0;  // their request and reply bytes together
  uint64_t silenceMs = 0;    // the sum of SilentAttemptMs of the others
};

// What one unanswered attempt costs an engine with this packet time-out and
// this pause after a failed attempt.
uint64_t SilentAttemptMs(uint32_t packetTimeoutMs, uint32_t pauseAfterMs);

// Milliseconds; fractional because bytes take fractions of one.
double WireBoundMs(const ReadTraffic& traffic);
