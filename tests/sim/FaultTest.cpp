// Faults by name: what each does to a reply, and which requests it hits.
#include <gtest/gtest.h>

#include "SimTestUtil.h"

namespace {

using metersim::Fault;
using metersim::FaultKind;
using metersim::MeterModel;
using metersim::ParseFault;
using metersim::ReplyPlan;
using namespace simtest;

const std::vector<uint8_t> kId3x = Hex("55 01 FE 00 00 00 AB");
const std::vector<uint8_t> kGood3x = Hex("AA 01 FE 00 00 06 5A 46 4B 2D 33 31 D4");
const std::vector<uint8_t> kRead315 = Hex("01 03 01 3B 00 02 B4 3A");
const std::vector<uint8_t> kGood315 = Hex("01 03 04 00 01 D8 0D 30 36");

std::vector<ReplyPlan> Plans(MeterModel model, const std::string& fault,
                             const std::vector<uint8_t>& request) {
  auto meter = Meter(model);
  std::string error;
  const auto f = ParseFault(fault, &error);
  EXPECT_TRUE(f) << fault << ": " << error;
  if (f) meter->AddFault(*f);
  return meter->Receive(request);
}

ReplyPlan One(MeterModel model, const std::string& fault, const std::vector<uint8_t>& request) {
  auto plans = Plans(model, fault, request);
  EXPECT_EQ(plans.size(), 1u) << fault;
  return plans.empty() ? ReplyPlan{} : plans[0];
}

TEST(Faults, ByteFaultsOn3xReplies) {
  struct Case {
    const char* fault;
    const char* reply;
  };
  const Case cases[] = {
      {"stray", "00 FF 3C AA 01 FE 00 00 06 5A 46 4B 2D 33 31 D4"},
      {"stray:n=2,value=0xAA", "AA AA AA 01 FE 00 00 06 5A 46 4B 2D 33 31 D4"},
      {"bad-checksum", "AA 01 FE 00 00 06 5A 46 4B 2D 33 31 D5"},
      // Only the complement is wrong: the checksum matches the bytes sent.
      {"bad-complement", "AA 01 FF 00 00 06 5A 46 4B 2D 33 31 D3"},
      {"cut", "AA 01 FE 00"},
      {"cut:n=9", "AA 01 FE 00 00 06 5A 46 4B"},
      {"long-length", "AA 01 FE 00 00 FF 5A 46 4B 2D 33 31 DB"},
      {"long-length:value=7", "AA 01 FE 00 00 07 5A 46 4B 2D 33 31 D3"},
      {"exception", "AA 01 FE 00 00 06 5A 46 4B 2D 33 31 D4"},  // no meaning on 3x
  };
  for (const Case& c : cases) {
    const ReplyPlan plan = One(MeterModel::Zfk31, c.fault, kId3x);
    EXPECT_EQ(HexText(plan.bytes), c.reply) << c.fault;
    EXPECT_FALSE(plan.hangUp || plan.garbage) << c.fault;
  }
}

TEST(Faults, ByteFaultsOnModBusReplies) {
  struct Case {
    const char* fault;
    std::vector<uint8_t> request;
    std::vector<uint8_t> reply;
  };
  const Case cases[] = {
      {"bad-checksum", kRead315, Hex("01 03 04 00 01 D8 0D 30 37")},
      {"bad-complement", kRead315, kGood315},  // no complement in ModBus
      {"cut:n=3", kRead315, Hex("01 03 04")},
      {"exception", kRead315, WithCrc({0x01, 0x83, 0x02})},
      {"exception:value=4", kRead315, WithCrc({0x01, 0x83, 0x04})},
      {"long-length:value=200", kRead315, WithCrc({0x01, 0x03, 200, 0x00, 0x01, 0xD8, 0x0D})},
      {"long-length:value=9", Hex("01 11 C0 2C"), WithCrc({0x01, 0x11, 0x04, 9, 'B', 'R', 'C'})},
      {"stray:n=1,value=0", kRead315, Hex("00 01 03 04 00 01 D8 0D 30 36")},
  };
  for (const Case& c : cases) {
    const ReplyPlan plan = One(MeterModel::Gdz1208, c.fault, c.request);
    EXPECT_EQ(HexText(plan.bytes), HexText(c.reply)) << c.fault;
  }
}

// A short reply stays well formed and carries the first bytes of the true
// answer, fewer than asked; ModBus drops whole registers. A request that asks
// for no length (identification) is answered as usual.
TEST(Faults, ShortRepliesCarryFewerDataBytesThanAsked) {
  const auto read4 = Request3x(1, 0x0F, 0x01, {0x00, 0x10, 4});
  const struct {
    const char* fault;
    MeterModel model;
    std::vector<uint8_t> request;
    size_t dropped;
  } cases[] = {
      {"short-reply", MeterModel::Zfk31, read4, 2},
      {"short-reply:n=9", MeterModel::Zfk31, read4, 4},
      {"short-reply", MeterModel::Zfk31, kId3x, 0},
      {"short-reply:n=1", MeterModel::Gdz1208, kRead315, 2},  // a whole register
      {"short-reply", MeterModel::Gdz1208, Hex("01 11 C0 2C"), 0},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(std::string(c.fault) + " " + HexText(c.request));
    auto want = Ask(*Meter(c.model), c.request);
    const bool modbus = c.model == MeterModel::Gdz1208;
    const size_t length = modbus ? 2 : 5;    // the length byte or byte count
    const ptrdiff_t check = modbus ? 2 : 1;  // CRC or checksum, made to fit
    want.erase(want.end() - check - static_cast<ptrdiff_t>(c.dropped), want.end() - check);
    want[length] = static_cast<uint8_t>(want[length] - c.dropped);
    const auto reply = One(c.model, c.fault, c.request).bytes;
    EXPECT_EQ(HexText({reply.begin(), reply.end() - check}),
              HexText({want.begin(), want.end() - check}));
    EXPECT_TRUE(modbus ? CrcOk(reply) : ChecksumOk(reply));
  }
}

TEST(Faults, TimingAndLineFaults) {
  auto plan = One(MeterModel::Zfk31, "delay:ms=800", kId3x);
  EXPECT_EQ(plan.delayMs, 805u);  // after the 5 ms turnaround
  EXPECT_EQ(plan.bytes, kGood3x);

  plan = One(MeterModel::Zfk31, "gap:n=6,ms=300", kId3x);
  EXPECT_EQ(plan.gapBefore, 6u);
  EXPECT_EQ(plan.gapMs, 300u);
  EXPECT_EQ(plan.ByteDueUs(5), 5'000u);    // pacing off: at once after the turnaround
  EXPECT_EQ(plan.ByteDueUs(6), 305'000u);  // held back by the gap

  plan = One(MeterModel::Zfk31, "hangup:n=5", kId3x);
  EXPECT_TRUE(plan.hangUp);
  EXPECT_EQ(HexText(plan.bytes), "AA 01 FE 00 00");

  plan = One(MeterModel::Zfk31, "garbage", kId3x);
  EXPECT_TRUE(plan.garbage);
  EXPECT_TRUE(plan.bytes.empty());
  EXPECT_GT(plan.lineByteTimeUs, 0u);  // even without pacing the stream has a rate

  EXPECT_TRUE(Plans(MeterModel::Zfk31, "silence", kId3x).empty());
  EXPECT_TRUE(Plans(MeterModel::Gdz1208, "silence", kRead315).empty());
}

TEST(Faults, ScopeByAddressKindStartSkipAndTimes) {
  auto meter = Meter(MeterModel::Gdz1207s2, 1);
  meter->AddFault(*ParseFault("silence:addr=2"));
  EXPECT_FALSE(Ask(*meter, Request3x(1, 0, 0)).empty());
  EXPECT_TRUE(Ask(*meter, Request3x(2, 0, 0)).empty());
  EXPECT_TRUE(Ask(*meter, Request3x(2, 0, 0)).empty());  // times=0: every one
  meter->ClearFaults();
  EXPECT_FALSE(Ask(*meter, Request3x(2, 0, 0)).empty());

  meter->AddFault(*ParseFault("silence:kind=rtc2k-read,start=16"));
  EXPECT_TRUE(Ask(*meter, Request3x(1, 0x0F, 0x01, {0, 16, 4})).empty());
  EXPECT_FALSE(Ask(*meter, Request3x(1, 0x0F, 0x01, {0, 20, 4})).empty());
  EXPECT_FALSE(Ask(*meter, Request3x(1, 0x0F, 0x81, {0, 16, 1})).empty());
  EXPECT_FALSE(Ask(*meter, Request3x(1, 0, 0)).empty());
  meter->ClearFaults();

  // The fifth write of a sequence fails once; the others pass.
  meter->AddFault(*ParseFault("silence:kind=rtc2k-write,skip=4,times=1"));
  std::vector<bool> answered;
  for (int i = 0; i < 7; ++i)
    answered.push_back(!Ask(*meter, Request3x(1, 0x0F, 0x81, {0x01, 0x00, 0})).empty());
  EXPECT_EQ(answered, (std::vector<bool>{true, true, true, true, false, true, true}));
  EXPECT_TRUE(meter->PendingFaults().empty());
}

TEST(Faults, CountOnlyRequestsTheMeterAnswers) {
  auto meter = Meter(MeterModel::Zfk31, 1);
  meter->AddFault(*ParseFault("silence:times=1"));
  EXPECT_TRUE(Ask(*meter, Request3x(9, 0, 0)).empty());  // not ours: does not use it up
  EXPECT_TRUE(Ask(*meter, Request3x(1, 0, 0)).empty());  // ours: silenced
  EXPECT_FALSE(Ask(*meter, Request3x(1, 0, 0)).empty());
  const auto log = meter->Requests();
  ASSERT_EQ(log.size(), 3u);
  EXPECT_FALSE(log[1].replied);
  EXPECT_TRUE(log[2].replied);
}

TEST(Faults, FaultsCombineInTheOrderGiven) {
  auto meter = Meter(MeterModel::Zfk31);
  meter->AddFault(*ParseFault("cut:n=6"));
  meter->AddFault(*ParseFault("stray:n=2,value=0x11"));
  EXPECT_EQ(HexText(Ask(*meter, kId3x)), "11 11 AA 01 FE 00 00 06");
}

TEST(Faults, ParseFaultNamesEveryKindAndRefusesNonsense) {
  for (const char* name :
       {"silence", "stray", "bad-checksum", "bad-complement", "gap", "cut", "long-length",
        "garbage", "exception", "delay", "hangup", "short-reply"}) {
    const auto f = ParseFault(name);
    ASSERT_TRUE(f) << name;
    EXPECT_STREQ(metersim::FaultKindName(f->kind), name);
  }
  const auto f = ParseFault("gap:n=2,ms=0x20,addr=3,kind=id,times=4,skip=1,start=7");
  ASSERT_TRUE(f);
  EXPECT_EQ(f->count, 2u);
  EXPECT_EQ(f->ms, 32u);
  EXPECT_EQ(f->address, 3);
  EXPECT_EQ(f->request, metersim::RequestKind::Identify);
  EXPECT_EQ(f->times, 4u);
  EXPECT_EQ(f->skip, 1u);
  EXPECT_EQ(f->start, 7u);
  for (const char* bad : {"", "fire", "cut:n", "cut:n=x", "cut:n=-1", "cut:bogus=1",
                          "silence:kind=nope", "silence:addr=256", "stray:value=300"}) {
    std::string error;
    EXPECT_FALSE(ParseFault(bad, &error)) << bad;
    EXPECT_FALSE(error.empty()) << bad;
  }
}

TEST(Faults, ModelNames) {
  for (const char* name : {"zfk31", "zfk36", "gdz1207s", "gdz1207s-2", "gdz1208", "gdz1208-2"}) {
    const auto model = metersim::ParseMeterModel(name);
    ASSERT_TRUE(model) << name;
    EXPECT_STREQ(metersim::MeterModelName(*model), name);
  }
  EXPECT_FALSE(metersim::ParseMeterModel("ZFK31"));
  EXPECT_FALSE(metersim::ParseMeterModel("gdz1208-3"));
}

}  // namespace
