// The snapshot of a meter: read whole through its Meter, without a single
// write (no WriteScope is ever made here).
#pragma once

#include "app/core/meter/Connection.h"
#include "app/core/values/MeterSnapshot.h"

// Reads every item the meter's model has: serial number, firmware text and
// clock, both lists, Gmax, G and SFR of each channel, the calibration record.
// A failed item is marked Failed and the rest still read. port, baud, started
// and durationMs are the caller's.
MeterSnapshot TakeSnapshot(Meter& meter, const Catalogue& catalogue);

// Connects to the meter the PortSpec names, takes its snapshot and closes the port.
// result says PortError or NotFound when it got no further.
MeterSnapshot TakeSnapshot(const PortSpec& spec, const Catalogue& catalogue,
                           const LineTrace& trace = {});
