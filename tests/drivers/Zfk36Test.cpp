// The ZFK-36 driver on a virtual ZFK-36: single reads from the coefficient
// block, every write as read / patch / checksum / write in pieces, the record
// after a block write, and the meter's own reset commands.
#include <gtest/gtest.h>

#include <array>
#include <numeric>

#include "ModelTraits.h"
#include "support/ScriptedLine.h"

namespace drivertest {
namespace {

using Rig = MeterRig<TlumZfk36>;
constexpr auto kRead = RequestKind::ReadRtc2k;
constexpr auto kWrite = RequestKind::WriteRtc2k;
constexpr uint32_t kBlock = 1504;

Bytes Block(const VirtualMeter& m) {
  return m.Read(MemoryArea::Rtc2k, kBlock, 146);
}

// count bytes of the block from offset on.
Bytes Slice(const Bytes& block, size_t offset, size_t count) {
  const auto from = block.begin() + static_cast<std::ptrdiff_t>(offset);
  return Bytes(from, from + static_cast<std::ptrdiff_t>(count));
}

// Byte sum of the 144 value bytes plus the stored checksum: FFFF when sound.
uint16_t SumWithChecksum(const Bytes& block) {
  const unsigned sum = std::accumulate(block.begin(), block.begin() + 144, 0u);
  return static_cast<uint16_t>(sum + (unsigned{block[144]} << 8 | block[145]));
}

// One block read, then eleven pieces of 8 bytes and one of 58, back to back.
std::vector<Tx> BlockWrite() {
  std::vector<Tx> seq{{kRead, kBlock, 146}};
  for (uint32_t i = 0; i < 11; ++i)
    seq.push_back({kWrite, kBlock + 8 * i, 8});
  seq.push_back({kWrite, 1592, 58});
  return seq;
}

TEST(Zfk36, SerialNumberIsReadAt338) {
  Rig rig(MeterModel::Zfk36);
  rig.meter->Write(MemoryArea::Rtc2k, 338, Hex("00 00 30 39"));
  EXPECT_EQ(rig.driver.GetDeviceNumber(), "12345");
  EXPECT_EQ(rig.Txs(), (std::vector<Tx>{{kRead, 338, 4}}));
}

struct Place {
  CoefList list;
  uint8_t channel, index;
  uint32_t offset;  // in the coefficient block
};
const Place kPlaces[] = {
    {CoefList::K, 1, 0, 0},     {CoefList::Obr, 1, 0, 0}, {CoefList::K, 1, 1, 4},
    {CoefList::Obr, 1, 1, 4},   {CoefList::Obr, 1, 2, 8}, {CoefList::Obr, 1, 9, 36},
    {CoefList::K, 1, 2, 40},    {CoefList::K, 1, 9, 68},  {CoefList::K, 2, 0, 72},
    {CoefList::Obr, 2, 0, 72},  {CoefList::K, 2, 1, 76},  {CoefList::Obr, 2, 2, 80},
    {CoefList::Obr, 2, 9, 108}, {CoefList::K, 2, 2, 112}, {CoefList::K, 2, 9, 140},
};

TEST(Zfk36, ReadsAreSingleFourByteReadsWithoutAChecksumTest) {
  Rig rig(MeterModel::Zfk36);
  rig.meter->Write(MemoryArea::Rtc2k, kBlock + 144, Hex("00 00"));  // a wrong checksum
  for (const auto& p : kPlaces) {
    SCOPED_TRACE(testing::Message() << "offset " << p.offset);
    rig.meter->Write(MemoryArea::Rtc2k, kBlock + p.offset, Hex("40 49 0F DB"));
    rig.Forget();
    float value = 0;
    ASSERT_TRUE(p.list == CoefList::K ? rig.driver.ClbReadK(p.channel, p.index, value)
                                      : rig.driver.ClbReadObr(p.channel, p.index, value));
    EXPECT_EQ(Bits(value), 0x40490FDBu);
    EXPECT_EQ(rig.Txs(), (std::vector<Tx>{{kRead, kBlock + p.offset, 4}}));
  }
}

TEST(Zfk36, AWriteRewritesTheWholeBlockInTwelvePieces) {
  Rig rig(MeterModel::Zfk36);
  rig.driver.SetEWrite(true);
  ASSERT_TRUE(rig.driver.ClbWriteK(1, 3, 0.75f));
  const auto log = rig.Log();
  EXPECT_EQ(Transactions(log), BlockWrite());
  // The pieces joined are the block as the meter now holds it.
  Bytes sent;
  for (size_t i = 1; i < log.size(); ++i)
    sent.insert(sent.end(), log[i].data.begin(), log[i].data.end());
  EXPECT_EQ(sent, Block(*rig.meter));
  EXPECT_EQ(SumWithChecksum(sent), 0xFFFF);
}

TEST(Zfk36, AWriteChangesOnlyItsValueAndTheChecksum) {
  for (const auto& p : kPlaces) {
    SCOPED_TRACE(testing::Message() << (p.list == CoefList::K ? "K" : "Obr") << " channel "
                                    << int(p.channel) << " index " << int(p.index));
    Rig rig(MeterModel::Zfk36);
    rig.driver.SetEWrite(true);
    Bytes expected = Block(*rig.meter);
    ASSERT_TRUE(p.list == CoefList::K ? rig.driver.ClbWriteK(p.channel, p.index, -2.5f)
                                      : rig.driver.ClbWriteObr(p.channel, p.index, -2.5f));
    const Bytes v = BigEndian(-2.5f);
    std::copy(v.begin(), v.end(), expected.begin() + p.offset);
    const Bytes after = Block(*rig.meter);
    std::copy(after.begin() + 144, after.end(), expected.begin() + 144);
    EXPECT_EQ(after, expected);
    EXPECT_EQ(SumWithChecksum(after), 0xFFFF);
  }
}

TEST(Zfk36, ChecksumIsTheComplementOfTheByteSum) {
  CoefficientBlock block{};
  TlumZfk36::SealBlock(block);
  EXPECT_EQ(block[144], 0xFF);
  EXPECT_EQ(block[145], 0xFF);
  // 18 bytes of FF and one of 46 sum to 1234 hex.
  std::fill(block.begin(), block.begin() + 18, 0xFF);
  block[100] = 0x46;
  TlumZfk36::SealBlock(block);
  EXPECT_EQ(block[144], 0xED);
  EXPECT_EQ(block[145], 0xCB);
  // The sum wraps at 16 bits: 144 bytes of FF sum to 8F70.
  block.fill(0xFF);
  TlumZfk36::SealBlock(block);
  EXPECT_EQ(block[144], 0x70);
  EXPECT_EQ(block[145], 0x8F);
}

TEST(Zfk36, AFailedFifthPieceStopsTheWriteAndTheRecord) {
  Rig rig(MeterModel::Zfk36);
  rig.driver.SetSealmark("L0421.05");  // a record would follow a good write
  Bytes expectedBlock = Block(*rig.meter);
  const Bytes recordBefore = rig.meter->Read(MemoryArea::Rtc2k, 2016, 16);
  rig.meter->AddFault(Silence(kWrite, 4));
  EXPECT_FALSE(rig.driver.ClbWriteK(1, 0, 0.5f));
  EXPECT_EQ(rig.driver.LastError(), uint32_t{lumErrRead});

  const std::vector<Tx> whole = BlockWrite();
  std::vector<Tx> expected(whole.begin(), whole.begin() + 5);
  for (int attempt = 0; attempt < rig.driver.RepeatCount(); ++attempt)
    expected.push_back({kWrite, 1536, 8});
  EXPECT_EQ(rig.Txs(), expected);
  // The first piece carried the new K0; the rest, the stored checksum
  // included, are the old bytes, so the block no longer adds up.
  const Bytes k0 = BigEndian(0.5f);
  std::copy(k0.begin(), k0.end(), expectedBlock.begin());
  const Bytes after = Block(*rig.meter);
  EXPECT_EQ(after, expectedBlock);
  EXPECT_NE(SumWithChecksum(after), 0xFFFF);
  EXPECT_EQ(rig.meter->Read(MemoryArea::Rtc2k, 2016, 16), recordBefore);

  // A later good write repairs the block.
  rig.meter->ClearFaults();
  ASSERT_TRUE(rig.driver.ClbWriteK(1, 1, 2.0f));
  EXPECT_EQ(SumWithChecksum(Block(*rig.meter)), 0xFFFF);
}

TEST(Zfk36, ARecordFollowsTheFirstGoodBlockWriteWithASeal) {
  Rig rig(MeterModel::Zfk36);
  ScopedLocalTime clock(At(2009, 3, 7, 14, 5, 9));
  rig.driver.SetSealmark("L0421.05");
  ASSERT_TRUE(rig.driver.ClbWriteObr(1, 4, 0.125f));
  std::vector<Tx> expected = BlockWrite();
  expected.push_back({kWrite, 2016, 16});
  EXPECT_EQ(rig.Txs(), expected);
  EXPECT_EQ(rig.meter->Read(MemoryArea::Rtc2k, 2016, 16),
            Hex("4C 30 34 32 31 2E 30 35 00 00 09 03 07 14 05 09"));

  rig.Forget();  // written: the next block write has no record
  ASSERT_TRUE(rig.driver.ClbWriteObr(1, 5, 0.25f));
  EXPECT_EQ(rig.Txs(), BlockWrite());

  rig.Forget();
  rig.driver.ClearSealmark();
  ASSERT_TRUE(rig.driver.ClbWriteObr(1, 6, 0.5f));
  EXPECT_EQ(rig.Txs(), expected);
}

TEST(Zfk36, WithoutASealBlockWritesSucceedWithoutARecord) {
  Rig rig(MeterModel::Zfk36);
  rig.driver.SetEWrite(true);
  ASSERT_TRUE(rig.driver.ClbWriteK(1, 2, 0.5f));
  EXPECT_EQ(rig.Txs(), BlockWrite());
}

TEST(Zfk36, AFailedRecordDoesNotFailTheBlockWriteAndIsTriedAgain) {
  Rig rig(MeterModel::Zfk36);
  rig.driver.SetSealmark("L0421.05");
  Fault onRecord = Silence(kWrite);
  onRecord.start = 2016;
  onRecord.times = rig.driver.RepeatCount();  // every attempt of one write
  rig.meter->AddFault(onRecord);
  EXPECT_TRUE(rig.driver.ClbWriteK(1, 2, 0.5f));
  EXPECT_NE(rig.driver.LastError(), 0u);

  rig.Forget();
  EXPECT_TRUE(rig.driver.ClbWriteK(1, 3, 0.5f));
  std::vector<Tx> expected = BlockWrite();
  expected.push_back({kWrite, 2016, 16});
  EXPECT_EQ(rig.Txs(), expected);
}

TEST(Zfk36, AFailedBlockReadSendsNothing) {
  Rig rig(MeterModel::Zfk36);
  rig.driver.SetEWrite(true);
  rig.meter->AddFault(Silence(kRead));
  EXPECT_FALSE(rig.driver.ClbWriteK(1, 2, 0.5f));
  const std::array<float, 18> values{};
  EXPECT_FALSE(rig.driver.ClbWriteAll(1, values));
  EXPECT_EQ(CountWrites(rig.Log()), 0u);
}

TEST(Zfk36, WithWritesOffOnlyTheBlockIsRead) {
  Rig rig(MeterModel::Zfk36);
  rig.driver.SetSealmark("L0421.05");
  rig.driver.SetEWrite(false);
  const Bytes before = Block(*rig.meter);
  EXPECT_TRUE(rig.driver.ClbWriteK(1, 2, 0.5f));
  EXPECT_EQ(rig.Txs(), (std::vector<Tx>{{kRead, kBlock, 146}}));
  EXPECT_EQ(Block(*rig.meter), before);
  // The record counts as written all the same.
  rig.Forget();
  rig.driver.SetEWrite(true);
  EXPECT_TRUE(rig.driver.ClbWriteSealmark());
  EXPECT_TRUE(rig.Log().empty());
}

TEST(Zfk36, WriteAllReplacesOneChannelSet) {
  std::array<float, 18> values;
  for (size_t i = 0; i < values.size(); ++i)
    values[i] = 1.5f + static_cast<float>(i);
  for (uint8_t ch = 1; ch <= 2; ++ch) {
    SCOPED_TRACE(testing::Message() << "channel " << int(ch));
    Rig rig(MeterModel::Zfk36);
    rig.driver.SetEWrite(true);
    const Bytes before = Block(*rig.meter);
    ASSERT_TRUE(rig.driver.ClbWriteAll(ch, values));
    EXPECT_EQ(rig.Txs(), BlockWrite());
    const Bytes after = Block(*rig.meter);
    const size_t set = 72u * (ch - 1u), other = 72u * (2u - ch);
    for (size_t i = 0; i < 18; ++i)
      EXPECT_EQ(Slice(after, set + 4 * i, 4), BigEndian(values[i])) << "value " << i;
    EXPECT_EQ(Slice(after, other, 72), Slice(before, other, 72));
    EXPECT_EQ(SumWithChecksum(after), 0xFFFF);
    // The set is K0, Ku, Obr 2..9, K 2..9.
    float v = 0;
    ASSERT_TRUE(rig.driver.ClbReadK(ch, 1, v));
    EXPECT_EQ(v, values[1]);
    ASSERT_TRUE(rig.driver.ClbReadObr(ch, 2, v));
    EXPECT_EQ(v, values[2]);
    ASSERT_TRUE(rig.driver.ClbReadK(ch, 9, v));
    EXPECT_EQ(v, values[17]);
  }
  Rig rig(MeterModel::Zfk36);
  rig.driver.SetEWrite(true);
  EXPECT_FALSE(rig.driver.ClbWriteAll(3, values));
  EXPECT_FALSE(rig.driver.ClbWriteAll(0, values));
  EXPECT_TRUE(rig.Log().empty());
}

TEST(Zfk36, PresentValuesComeFromRam) {
  Rig rig(MeterModel::Zfk36);
  const struct {
    bool sfr;
    uint8_t channel;
    uint32_t address;
  } cases[] = {{true, 1, 0}, {true, 2, 4}, {false, 1, 160}, {false, 2, 164}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.address);
    rig.meter->Write(MemoryArea::Ram, c.address, Hex("C2 C8 00 00"));
    rig.Forget();
    const float v = c.sfr ? rig.driver.ClbReadSFR(c.channel) : rig.driver.ClbReadG(c.channel);
    EXPECT_EQ(v, -100.0f);
    EXPECT_EQ(rig.Txs(), (std::vector<Tx>{{RequestKind::ReadRam, c.address, 4}}));
  }
  rig.Forget();
  EXPECT_EQ(rig.driver.ClbReadSFR(0), 0.0f);
  EXPECT_EQ(rig.driver.ClbReadSFR(3), 0.0f);
  EXPECT_EQ(rig.driver.ClbReadG(0), 0.0f);
  EXPECT_EQ(rig.driver.ClbReadG(3), 0.0f);
  EXPECT_TRUE(rig.Log().empty());
  rig.meter->AddFault(Silence(RequestKind::ReadRam));
  EXPECT_EQ(rig.driver.ClbReadSFR(1), 0.0f);
  EXPECT_EQ(rig.driver.ClbReadG(2), 0.0f);
}

struct ResetCommand {
  const char* name;
  uint8_t (TlumZfk36::*send)();
  uint8_t command;  // after group 77
};
const ResetCommand kCommands[] = {{"FastResetK", &TlumZfk36::FastResetK, 0x77},
                                  {"ResetDevK", &TlumZfk36::ResetDevK, 0x78}};

TEST(Zfk36, ResetCommandsAreTriedOnceMoreAfterAFailure) {
  for (const auto& c : kCommands) {
    SCOPED_TRACE(c.name);
    Rig rig(MeterModel::Zfk36);  // writes off: the commands go all the same
    rig.meter->SetCommandStatus(0x5A);
    // The whole first transaction fails, with every attempt of the engine.
    rig.meter->AddFault(Silence(RequestKind::Command, 0, rig.driver.RepeatCount()));
    EXPECT_EQ((rig.driver.*c.send)(), 0x5A);
    EXPECT_EQ(rig.driver.LastError(), 0u);
    const auto log = rig.Log();
    ASSERT_EQ(log.size(), rig.driver.RepeatCount() + 1u);
    for (const auto& r : log) {
      EXPECT_EQ(r.group, 0x77);
      EXPECT_EQ(r.command, c.command);
      EXPECT_TRUE(r.data.empty());
    }
  }
}

TEST(Zfk36, ResetCommandsGiveUpAfterTheSecondFailure) {
  for (const auto& c : kCommands) {
    SCOPED_TRACE(c.name);
    Rig rig(MeterModel::Zfk36);
    rig.meter->AddFault(Silence(RequestKind::Command));
    EXPECT_EQ((rig.driver.*c.send)(), 255);
    EXPECT_EQ(rig.driver.LastError(), uint32_t{lumErrRead});
    EXPECT_EQ(rig.Log().size(), 2u * rig.driver.RepeatCount());
  }
}

TEST(Zfk36, ResetCommandsNeedAnOpenPort) {
  for (const auto& c : kCommands) {
    SCOPED_TRACE(c.name);
    Rig rig(MeterModel::Zfk36);
    rig.driver.SetAutoOpenPort(true);
    rig.port.Close();
    EXPECT_EQ((rig.driver.*c.send)(), 255);
    EXPECT_EQ(rig.driver.LastError(), uint32_t{lumErrPortClosed});
    EXPECT_TRUE(rig.Log().empty());
  }
}

TEST(Zfk36, ResetKIsThirtySixBlockWrites) {
  Rig rig(MeterModel::Zfk36);
  rig.driver.SetSealmark("L0421.05");
  EXPECT_TRUE(rig.driver.ResetK());
  const auto txs = rig.Txs();
  // The record follows the first block write; then 35 more block writes.
  std::vector<Tx> expected = BlockWrite();
  expected.push_back({kWrite, 2016, 16});
  for (int i = 0; i < 35; ++i)
    for (const Tx& t : BlockWrite())
      expected.push_back(t);
  EXPECT_EQ(txs, expected);

  const Bytes block = Block(*rig.meter);
  EXPECT_EQ(SumWithChecksum(block), 0xFFFF);
  for (size_t set : {0u, 72u}) {
    EXPECT_EQ(Slice(block, set, 8), Hex("00 00 00 00 3F 80 00 00"));
    // The Obr points 2..9, then the same K points.
    EXPECT_EQ(Slice(block, set + 8, 32), Slice(block, set + 40, 32));
    EXPECT_EQ(Slice(block, set + 8, 4), Hex("3A 83 12 6F"));
    EXPECT_EQ(Slice(block, set + 36, 4), Hex("3F 00 00 00"));
  }
}

// A meter (or something on the line) that answers the block read with a
// well-formed but short reply: the write must not go on with a block that is
// mostly zeros.
TEST(Zfk36, AShortBlockReplyIsNeverWrittenBack) {
  ScopedVirtualTime time;
  auto line = ScriptedLine::Create(time.clock);
  constexpr uint8_t kLinePort = 63;
  line->Bind(kLinePort);
  ScopedPortBinding binding(kLinePort);
  auto requests = std::make_shared<int>(0);
  line->SetResponder([requests](ScriptedLine& l, std::span<const uint8_t> req) {
    if (req.size() < 6 || req.size() != size_t{req[5]} + 7) return;
    ++*requests;
    Bytes reply = Hex("AA 01 FE 0F 01 0A 00 00 00 00 3F 80 00 00 3B 23");
    unsigned sum = 0;
    for (uint8_t b : reply)
      sum += b;
    reply.push_back(static_cast<uint8_t>(~sum));
    l.Feed(reply, 5);
  });
  TlumComPort port;
  port.SetComPort(kLinePort);
  ASSERT_TRUE(port.Open());
  TlumZfk36 driver;
  driver.SetComPort(&port);
  driver.SetNetAddr(1);
  driver.SetEWrite(true);

  driver.SetRepeatCount(2);
  EXPECT_FALSE(driver.ClbWriteK(1, 2, 0.5f));
  const std::array<float, 18> values{};
  EXPECT_FALSE(driver.ClbWriteAll(2, values));
  // Each block read asked twice, nothing written; the short block is a
  // failed read.
  EXPECT_EQ(*requests, 4);
  EXPECT_EQ(driver.LastError(), lumErrPacketSize);
  port.Close();
}

}  // namespace
}  // namespace drivertest
