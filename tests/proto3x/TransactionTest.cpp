// How the engine collects a reply: time limits, retries and the pauses between
// them, faults on the line. All on virtual time, so durations are exact.
#include "Scripted3x.h"
#include "comm/LumUtils.h"

namespace {

class Transaction3x : public Scripted3x {
 protected:
  // One GetDevID; returns the virtual milliseconds it took.
  uint64_t TimedGetDevID(std::string& id) {
    const uint64_t start = Now();
    engine.GetDevID(id);
    return Now() - start;
  }
};

TEST_F(Transaction3x, SilentMeterCostsEveryAttemptAndItsPauses) {
  struct Case {
    uint8_t repeats;
    uint32_t packetTimeout;
  };
  for (const Case c : {Case{1, 100}, Case{3, 300}, Case{5, 250}}) {
    engine.SetRepeatCount(c.repeats);
    engine.SetPacketTimeout(c.packetTimeout);
    line->ClearWrites();
    vt.clock.ClearSleeps();
    std::string id = "stale";
    const uint64_t took = TimedGetDevID(id);
    EXPECT_EQ(engine.LastError(), lumErrRead);
    EXPECT_EQ(id, "");
    // Per attempt: 10 ms before the first look, the packet time-out and one
    // more 10 ms look, 200 ms.
    EXPECT_EQ(took, c.repeats * (c.packetTimeout + 220u)) << int{c.repeats};
    const auto requests = Requests();
    ASSERT_EQ(requests.size(), c.repeats);
    for (const auto& r : requests)
      EXPECT_EQ(r, (Bytes{0x55, 0x01, 0xFE, 0x00, 0x00, 0x00, 0xAB}));
    const auto sleeps = vt.clock.Sleeps();
    EXPECT_EQ(std::count(sleeps.begin(), sleeps.end(), 200u), c.repeats);
    EXPECT_EQ(sleeps.back(), 200u);
  }
}

TEST_F(Transaction3x, DefaultsGiveAboutOneAndAHalfSecondsOfSilence) {
  std::string id;
  EXPECT_EQ(TimedGetDevID(id), 3u * (300 + 220));
}

// The first byte may arrive up to PacketTimeout + 10 ms after the request
// (limit + 1 polls after the initial 10 ms); each further byte up to
// ByteTimeout after the one before.
TEST_F(Transaction3x, PacketAndByteLimitsAreExact) {
  struct Case {
    const char* name;
    uint32_t firstDelay;
    uint32_t gap;
    uint32_t code;
  };
  const Case cases[] = {
      {"prompt", 0, 0, lumOk},
      {"first byte at the limit", 110, 0, lumOk},
      {"first byte just late", 111, 0, lumErrRead},
      {"gaps at the limit", 10, 40, lumOk},
      {"gap just late", 10, 41, lumErrRead},
  };
  engine.SetPacketTimeout(100);
  engine.SetByteTimeout(40);
  engine.SetRepeatCount(1);
  for (const auto& c : cases) {
    AnswerWith(Reply3x({'I', 'D'}), c.firstDelay, c.gap);
    std::string id;
    engine.GetDevID(id);
    EXPECT_EQ(engine.LastError(), c.code) << c.name;
    EXPECT_EQ(id, c.code == lumOk ? "ID" : "") << c.name;
    vt.clock.Advance(10000);  // let a late reply pass before the next case
  }
}

// Bytes arrive at the line's pace, between the 10 ms looks: the reply is
// complete when its last byte is, and a further byte's limit counts from the
// look that would have found the byte before it.
TEST_F(Transaction3x, RepliesAreTakenAsTheyArriveWithinTheSameLimits) {
  struct Case {
    const char* name;
    uint32_t first;  // byte 0 this long after the request
    uint32_t gap;    // byte 1 this long after byte 0; the rest 1 ms apart
    uint32_t code;
    uint64_t took;
  } cases[] = {
      {"paced", 13, 1, lumOk, 13 + 8},
      {"paced, late start", 27, 1, lumOk, 27 + 8},
      // Byte 0 at 13 ms is the look at 20 ms's; byte 1 may come until 60.
      {"gap at the limit", 13, 47, lumOk, 60 + 7},
      {"gap just late", 13, 48, lumErrRead, 70 + 200},
  };
  engine.SetByteTimeout(40);
  engine.SetRepeatCount(1);
  for (const auto& c : cases) {
    OnRequest([c](ScriptedLine& l, size_t) {
      const Bytes reply = Reply3x({'I', 'D'});
      l.Feed(std::span<const uint8_t>(reply).first(1), c.first);
      l.Feed(std::span<const uint8_t>(reply).subspan(1), c.first + c.gap, 1);
    });
    std::string id;
    EXPECT_EQ(TimedGetDevID(id), c.took) << c.name;
    EXPECT_EQ(engine.LastError(), c.code) << c.name;
    vt.clock.Advance(10000);
  }
}

TEST_F(Transaction3x, EachAttemptWritesItsRequestInOneGo) {
  AnswerInTurn({{}, Reply3x({'O', 'K'})});
  std::string id;
  engine.GetDevID(id);
  ASSERT_EQ(engine.LastError(), lumOk);
  const Bytes request = Request3x(0, 0, {});
  EXPECT_EQ(line->Writes(), (std::vector<Bytes>{request, request}));
}

// Each stray byte before the start byte gives the meter its packet time-out
// again, so a slow trickle of noise is waited through.
TEST_F(Transaction3x, StrayBytesEachRestartThePacketLimit) {
  engine.SetPacketTimeout(100);
  engine.SetRepeatCount(1);
  for (uint32_t gap : {100u, 110u}) {
    OnRequest([gap](ScriptedLine& l, size_t) {
      const Bytes reply = Reply3x({0x42});
      Bytes head = {0x00, 0x13, 0x55, 0xFE, 0x01, reply[0]};
      l.Feed(head, gap, gap);
      l.Feed(std::span<const uint8_t>(reply).subspan(1));
    });
    const uint64_t start = Now();
    const uint8_t answer = engine.SendCmd(0x7777);
    if (gap == 100) {
      EXPECT_EQ(engine.LastError(), lumOk);
      EXPECT_EQ(answer, 0x42);
      EXPECT_EQ(Now() - start, 6 * 100u);  // far beyond one packet time-out
    } else {
      EXPECT_EQ(engine.LastError(), lumErrRead);
      EXPECT_EQ(answer, 255);
    }
    vt.clock.Advance(10000);
  }
}

TEST_F(Transaction3x, BrokenAddressComplementFailsAtByteTwo) {
  engine.SetRepeatCount(2);
  // The rest of the reply would follow much later; it must not be waited for.
  OnRequest([](ScriptedLine& l, size_t) {
    Bytes reply = Reply3x({1, 2, 3});
    reply[2] = 0x00;
    l.Feed(std::span<const uint8_t>(reply).first(3));
    l.Feed(std::span<const uint8_t>(reply).subspan(3), 30, 30);
  });
  std::string id;
  EXPECT_EQ(TimedGetDevID(id), 2 * (10 + 200u));
  EXPECT_EQ(engine.LastError(), lumErrAddress);
  EXPECT_EQ(Requests().size(), 2u);
}

TEST_F(Transaction3x, WrongChecksumIsRepeatedAndReported) {
  Bytes bad = Reply3x({'Z'});
  bad.back() ^= 0x10;
  AnswerWith(bad);
  std::string id;
  engine.GetDevID(id);
  EXPECT_EQ(engine.LastError(), lumErrChecksum);
  EXPECT_EQ(id, "");
  EXPECT_EQ(Requests().size(), 3u);
}

TEST_F(Transaction3x, RecoversOnTheNextAttempt) {
  Bytes bad = Reply3x({'Z'});
  bad.back() ^= 0x10;
  Bytes cut = Reply3x({'Z'});
  cut.pop_back();
  // A stray 0xAA opens a false frame: its complement check fails this attempt.
  Bytes strayStart = {0xAA};
  const Bytes good = Reply3x({'Z'});
  strayStart.insert(strayStart.end(), good.begin(), good.end());
  const Bytes failures[] = {bad, cut, strayStart, {}};
  for (const Bytes& first : failures) {
    line->ClearWrites();
    AnswerInTurn({first, Reply3x({'O', 'K'})});
    vt.clock.ClearSleeps();
    std::string id;
    engine.GetDevID(id);
    EXPECT_EQ(engine.LastError(), lumOk);
    EXPECT_EQ(id, "OK");
    const auto requests = Requests();
    ASSERT_EQ(requests.size(), 2u);
    EXPECT_EQ(requests[0], requests[1]);  // the identical frame again
    const auto sleeps = vt.clock.Sleeps();
    EXPECT_EQ(std::count(sleeps.begin(), sleeps.end(), 200u), 1);
    vt.clock.Advance(10000);
  }
}

TEST_F(Transaction3x, EndlessGarbageEndsTheAttempt) {
  engine.SetRepeatCount(1);
  OnRequest([](ScriptedLine& l, size_t) { l.Feed(Bytes(1000, 0x3C), 0, 1); });
  std::string id;
  engine.GetDevID(id);
  EXPECT_EQ(engine.LastError(), lumErrRead);
  // The 257th stray byte ended it; nothing after it was read.
  vt.clock.Advance(10000);
  EXPECT_EQ(line->PendingInput(), 1000u - 257u);
}

TEST_F(Transaction3x, ManyStrayBytesBeforeAReplyAreSkipped) {
  // An RS-485 adapter echoing the request, then some noise, then the reply.
  OnRequest([](ScriptedLine& l, size_t) {
    l.Feed(Request3x(0, 0, {}));
    l.Feed(Bytes(249, 0x00));
    l.Feed(Reply3x({'O', 'K'}));
  });
  std::string id;
  engine.GetDevID(id);
  EXPECT_EQ(engine.LastError(), lumOk);
  EXPECT_EQ(id, "OK");
}

TEST_F(Transaction3x, LeftoversAreNotTakenForTheAnswer) {
  // A late reply to an earlier request is already waiting when we send.
  line->Feed(Reply3x({'O', 'L', 'D'}));
  vt.clock.Advance(10);
  AnswerWith(Reply3x({'N', 'E', 'W'}), 20);
  std::string id;
  engine.GetDevID(id);
  EXPECT_EQ(engine.LastError(), lumOk);
  EXPECT_EQ(id, "NEW");
}

TEST_F(Transaction3x, ReplyFromAnotherAddressIsAccepted) {
  AnswerWith(Reply3x({'X'}, 0x55, 0x0F, 0x33));
  std::string id;
  engine.GetDevID(id);
  EXPECT_EQ(engine.LastError(), lumOk);
  EXPECT_EQ(id, "X");
}

TEST_F(Transaction3x, FailedWritesCostTheRetryPauses) {
  line->SetWriteFails(true);
  std::string id = "x";
  const uint64_t start = Now();
  engine.GetDevID(id);
  EXPECT_EQ(engine.LastError(), lumErrWrite);
  EXPECT_EQ(Now() - start, 3 * 200u);
  EXPECT_EQ(line->Purges(), 3);
}

TEST_F(Transaction3x, OversizedReplyLengthStopsAtTheLengthByte) {
  engine.SetRepeatCount(1);
  Bytes reply = {0xAA, 0x01, 0xFE, 0x0F, 0x01, 0xFF};
  reply.resize(300, 0x77);
  AnswerWith(reply);
  std::array<uint8_t, 4> dest{1, 2, 3, 4};
  engine.ReadRtc2k(0, dest, 4);
  EXPECT_EQ(engine.LastError(), lumErrPacketSize);
  EXPECT_EQ(dest, (std::array<uint8_t, 4>{1, 2, 3, 4}));
  EXPECT_EQ(line->PendingInput(), 300u - 6u);
}

}  // namespace
