#include "RunCapture.h"

#include <iostream>

bool RunCapture::Start(const LineOptions& o) {
  if (!o.pcap) return true;
  std::string error;
  if (!writer_.Open(*o.pcap, error)) {
    std::cerr << "Ошибка: файл захвата " << *o.pcap << " не создан: " << error << "\n";
    return false;
  }
  listening_.emplace(&writer_);
  return true;
}

RunCapture::~RunCapture() {
  listening_.reset();
  const bool open = writer_.IsOpen();
  writer_.Close();
  if (open && writer_.Failed()) std::cerr << "calibrate-cli: файл захвата записан не полностью\n";
}
