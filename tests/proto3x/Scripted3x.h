// A 3x engine on a scripted line and virtual time, with a meter-side frame
// encoder of the tests' own (not the engine's), so that a mistake in the
// engine's frame code cannot cancel itself out.
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <memory>
#include <vector>

#include "comm/lum3xProtocol.h"
#include "support/ScriptedLine.h"

using Bytes = std::vector<uint8_t>;

// start, address, its complement, group, command, length, data, ~sum8.
inline Bytes Frame3x(uint8_t start, uint8_t address, uint8_t group, uint8_t command,
                     const Bytes& data) {
  Bytes f{start, address, static_cast<uint8_t>(0xFF - address),
          group, command, static_cast<uint8_t>(data.size())};
  f.insert(f.end(), data.begin(), data.end());
  unsigned sum = 0;
  for (uint8_t b : f)
    sum += b;
  f.push_back(static_cast<uint8_t>(0xFF - sum % 256));
  return f;
}
inline Bytes Request3x(uint8_t group, uint8_t command, const Bytes& data, uint8_t address = 1) {
  return Frame3x(0x55, address, group, command, data);
}
inline Bytes Reply3x(const Bytes& data, uint8_t address = 1, uint8_t group = 0,
                     uint8_t command = 0) {
  return Frame3x(0xAA, address, group, command, data);
}

class Scripted3x : public ::testing::Test {
 protected:
  static constexpr uint8_t kPort = 53;

  void SetUp() override {
    line->Bind(kPort);
    port.SetComPort(kPort);
    ASSERT_TRUE(port.Open());
    engine.SetComPort(&port);
    engine.SetNetAddr(1);
  }
  void TearDown() override {
    port.Close();
    lum::UnbindSerialPort(kPort);
  }

  // Calls answer(n) with the number of each complete request (0, 1, ...).
  void OnRequest(std::function<void(ScriptedLine&, size_t)> answer) {
    auto count = std::make_shared<size_t>(0);
    line->SetResponder([answer, count](ScriptedLine& l, std::span<const uint8_t> req) {
      if (req.size() >= 6 && req.size() == size_t{req[5]} + 7) answer(l, (*count)++);
    });
  }
  // Answers every request with the same bytes.
  void AnswerWith(Bytes reply, uint32_t delayMs = 0, uint32_t gapMs = 0) {
    OnRequest([=](ScriptedLine& l, size_t) { l.Feed(reply, delayMs, gapMs); });
  }
  // Answers request n with replies[n]; later requests get the last one.
  void AnswerInTurn(std::vector<Bytes> replies) {
    OnRequest([=](ScriptedLine& l, size_t n) { l.Feed(replies[std::min(n, replies.size() - 1)]); });
  }
  // The frames written so far, split by their length bytes.
  std::vector<Bytes> Requests() const {
    const Bytes all = line->Written();
    std::vector<Bytes> frames;
    for (size_t i = 0; i < all.size();) {
      const size_t len = i + 5 < all.size() ? size_t{all[i + 5]} + 7 : all.size() - i;
      const size_t end = std::min(all.size(), i + len);
      frames.emplace_back(all.begin() + static_cast<ptrdiff_t>(i),
                          all.begin() + static_cast<ptrdiff_t>(end));
      i = end;
    }
    return frames;
  }
  uint64_t Now() { return vt.clock.NowMs(); }

  ScopedVirtualTime vt;
  std::shared_ptr<ScriptedLine> line = ScriptedLine::Create(vt.clock);
  TlumComPort port;
  Tlum3xProtocol engine;
};
