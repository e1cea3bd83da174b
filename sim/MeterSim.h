// Virtual meters for tests and the demo mode: one header for the meter
// object and its vocabulary.
//
//   auto meter = std::make_shared<metersim::VirtualMeter>(metersim::MeterModel::Zfk31, 1);
//   meter->AddFault(*metersim::ParseFault("cut:n=4,times=1"));
//   metersim::BindMeterToPort(5, meter);          // in process (MeterDevice.h)
//   metersim::PtyMeterServer server(meter);       // or on a pseudo-terminal
//   server.Start();                               // (PtyMeterServer.h, POSIX)
//   ... talk to it ...
//   meter->Requests();                            // what was sent
#pragma once

#include "sim/SimTypes.h"
#include "sim/VirtualMeter.h"
