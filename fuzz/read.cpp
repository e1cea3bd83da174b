// A whole press of "Прочитать" against a meter that answers anything: every
// request the read makes, 3x or ModBus, gets a well-formed reply whose data
// come from the input (a length byte, then that many bytes; 0xFF for no
// reply at all). The first reply is the 3x identification text, so the
// dispatch and the firmware lookup see arbitrary texts, and every later reply
// feeds the serial number, the coefficients and the calibration record.
//
// Properties: the read ends with the port closed and the button enabled
// again; every field holds valid UTF-8; a coefficient field holds "ERR" or a
// whole number in "%8.5f"; a meter not found shows exactly its message and
// no values; the firmware fields are filled only while shown.
#include <algorithm>
#include <cstring>
#include <string>
#include <vector>

#include "FuzzLine.h"
#include "app/core/meter/MeterRead.h"
#include "app/core/meter/RecordingView.h"
#include "comm/LumUtils.h"

namespace {

constexpr const char* kDevice = "fuzz-read-line";
constexpr uint8_t kSilent = 0xFF;

std::vector<uint8_t> Reply3x(std::span<const uint8_t> request, std::span<const uint8_t> data) {
  std::vector<uint8_t> f = {0xAA,       request[1], static_cast<uint8_t>(~request[1]),
                            request[3], request[4], static_cast<uint8_t>(data.size())};
  f.insert(f.end(), data.begin(), data.end());
  uint8_t sum = 0;
  for (uint8_t b : f)
    sum = static_cast<uint8_t>(sum + b);
  f.push_back(static_cast<uint8_t>(~sum));
  return f;
}

std::vector<uint8_t> ReplyModBus(std::span<const uint8_t> request, std::span<const uint8_t> data) {
  std::vector<uint8_t> f = {request[0], request[1]};
  if (request[1] == 17) f.push_back(0);  // the byte the meters put before the text length
  f.push_back(static_cast<uint8_t>(data.size()));
  f.insert(f.end(), data.begin(), data.end());
  const uint16_t crc = Crc16(0xFFFF, f);
  f.push_back(static_cast<uint8_t>(crc & 0xFF));
  f.push_back(static_cast<uint8_t>(crc >> 8));
  return f;
}

bool ValidUtf8(const std::string& s) {
  for (size_t i = 0; i < s.size();) {
    const auto c = static_cast<uint8_t>(s[i]);
    const size_t n = c < 0x80 ? 1 : (c >> 5) == 6 ? 2 : (c >> 4) == 14 ? 3 : (c >> 3) == 30 ? 4 : 0;
    if (n == 0 || i + n > s.size()) return false;
    for (size_t k = 1; k < n; ++k)
      if ((static_cast<uint8_t>(s[i + k]) & 0xC0) != 0x80) return false;
    i += n;
  }
  return true;
}

// "%8.5f": at least eight characters, right-aligned, five decimals; or what
// it makes of infinities and NaN.
bool Formatted(const std::string& s) {
  if (s.size() < 8) return false;
  const auto first = s.find_first_not_of(' ');
  if (first == std::string::npos) return false;
  std::string t = s.substr(first);
  if (t == "inf" || t == "-inf" || t == "nan" || t == "-nan") return true;
  if (t[0] == '-') t.erase(0, 1);
  const auto dot = t.find('.');
  if (dot == std::string::npos || dot == 0 || t.size() - dot - 1 != 5) return false;
  t.erase(dot, 1);
  return std::all_of(t.begin(), t.end(), [](char c) { return c >= '0' && c <= '9'; });
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  fuzz::Input in(data, size);
  // Any address but 0x55, the 3x request's start byte, so that the requests
  // of the two protocols stay apart.
  uint8_t netAddr = in.Byte() & 0x7F;
  if (netAddr == 0x55) netAddr = 0x54;

  ScopedVirtualTime time;
  auto scripted = ScriptedLine::Create(time.clock);
  const ScopedSerialDevice device{kDevice, scripted->Factory()};
  size_t requests = 0;
  scripted->SetResponder([&](ScriptedLine& l, std::span<const uint8_t> request) {
    const bool is3x = !request.empty() && request[0] == 0x55;
    // The 3x engine writes its request byte by byte: wait until it is whole.
    if (is3x && (request.size() < 6 || request.size() != size_t{request[5]} + 7)) return;
    const bool modbus = !is3x && ((request.size() == 4 && request[1] == 17) ||
                                  (request.size() == 8 && request[1] == 3));
    if (!is3x && !modbus) return;
    ++requests;
    const uint8_t h = in.Byte();
    if (h == kSilent || in.Empty()) return;
    const auto part = in.Take(h);
    l.Feed(is3x ? Reply3x(request, part) : ReplyModBus(request, part), 1, 0);
  });

  TMeterRead read;
  // Short time-outs and one attempt: the replies come at once or never.
  read.GetCatalogue().delays[1] = {10, 20, 1};
  read.GetCatalogue().delays[7] = {10, 20, 1};
  for (TlumProtocol* d :
       std::initializer_list<TlumProtocol*>{&read.Line().Gdz1207s(), &read.Line().Gdz1208()}) {
    d->SetPacketTimeout(20);
    d->SetByteTimeout(10);
    d->SetRepeatCount(1);
  }

  RecordingView view;
  const MeterReading outcome =
      read.BRefreshClick(view, PortSpec{kDevice, "COM32", 9600, netAddr, false});

  FUZZ_CHECK(read.LastConnection() && !read.LastConnection()->Port().Active());
  FUZZ_CHECK((view.refreshStates == std::vector<bool>{false, true}));
  FUZZ_CHECK(view.messagePasses == 1);
  FUZZ_CHECK(requests <= 40);
  for (const auto& field : view.fields)
    if (field) FUZZ_CHECK(ValidUtf8(*field));
  FUZZ_CHECK(ValidUtf8(view.caption));
  for (ReadField f : {ReadField::Ek00, ReadField::Ek10, ReadField::Ek01, ReadField::Ek11}) {
    const auto& text = view.Field(f);
    if (text) FUZZ_CHECK(*text == "ERR" || Formatted(*text));
  }
  if (outcome.result == ReadResult::NotFound) {
    FUZZ_CHECK(view.errors == std::vector<std::string>{"Прибор не найден "});
    FUZZ_CHECK(!view.versionVisible);
    FUZZ_CHECK(!view.Field(ReadField::ELicNo) && !view.Field(ReadField::Ek00));
  } else {
    FUZZ_CHECK(outcome.result == ReadResult::Ok);
    FUZZ_CHECK(view.errors.empty());
    FUZZ_CHECK(view.versionVisible);
  }
  if (view.Field(ReadField::EVer)) FUZZ_CHECK(view.versionVisible);
  const bool recordShown = view.Field(ReadField::EClbLic).has_value();
  FUZZ_CHECK(recordShown && view.Field(ReadField::EClbDate).has_value());
  return 0;
}
