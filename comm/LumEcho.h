// A two-wire RS-485 adapter hears its own transmitter: every request comes
// back on the receive line before the meter answers. With echo suppression on,
// an engine reads that echo off before it looks for the reply.
//
// The echo is expected byte for byte. Bytes that differ are not thrown away:
// an adapter that already suppresses its echo sends none, and then the first
// bytes are the reply itself (a ModBus reply starts with the same address and
// function as its request). So what was read up to and including the first
// differing byte is handed back as the start of the reply.
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <vector>

#include "LuMComPort.h"
#include "LumReplyWait.h"

// Reads the echo of `sent`: the first byte within packetTimeoutMs, each
// further one within byteTimeoutMs. The bytes that turned out not to be the
// echo (empty when the whole echo came), or nothing when the line fell silent
// first: then the attempt has failed like a reply that never came.
std::optional<std::vector<uint8_t>> ReadEcho(TlumReplyWait& wait, TlumComPort& port,
                                             std::span<const uint8_t> sent,
                                             uint32_t packetTimeoutMs, uint32_t byteTimeoutMs);
