// What the 3x engine reports to the frame tap: the request, then what came
// back cut as the engine's assembler cut it; bytes before a frame apart from
// the frame, and what made no frame as it came.
#include "Scripted3x.h"
#include "comm/LumFrameTap.h"

namespace {

struct Heard {
  FrameDirection direction;
  FrameStatus status;
  Bytes bytes;
  bool operator==(const Heard&) const = default;
};

class Recorder : public TlumFrameObserver {
 public:
  void OnFrame(const LineFrame& f) override {
    EXPECT_EQ(f.protocol, FrameProtocol::Lum3x);
    frames.push_back({f.direction, f.status, {f.bytes.begin(), f.bytes.end()}});
  }
  std::vector<Heard> frames;
};

Bytes Joined(Bytes a, const Bytes& b) {
  a.insert(a.end(), b.begin(), b.end());
  return a;
}

class FrameTap3x : public Scripted3x {};

TEST_F(FrameTap3x, RepliesAreCutAsTheEngineAssemblesThem) {
  const Bytes request = Request3x(0, 0, {});
  const Bytes good = Reply3x({'Z', 'F'});
  Bytes bad = good;
  bad.back() ^= 1;
  const Bytes broken = {0xAA, 0x01, 0x00};  // the complement does not match
  using D = FrameDirection;
  using S = FrameStatus;
  const Heard sent{D::Outbound, S::Good, request};
  struct Case {
    const char* name;
    Bytes reply;
    std::vector<Heard> heard;
  } const cases[] = {
      {"good", good, {sent, {D::Inbound, S::Good, good}}},
      {"noise first",
       Joined({0x00, 0x13}, good),
       {sent, {D::Inbound, S::NoFrame, {0x00, 0x13}}, {D::Inbound, S::Good, good}}},
      {"bad checksum", bad, {sent, {D::Inbound, S::BadCheck, bad}}},
      {"broken complement", broken, {sent, {D::Inbound, S::NoFrame, broken}}},
      {"cut",
       Bytes(good.begin(), good.begin() + 4),
       {sent, {D::Inbound, S::TimedOut, Bytes(good.begin(), good.begin() + 4)}}},
      {"silence", {}, {sent, {D::Inbound, S::TimedOut, {}}}},
  };
  engine.SetRepeatCount(1);
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    AnswerWith(c.reply);
    Recorder recorder;
    {
      const FrameObserverScope listening(&recorder);
      std::string id;
      engine.GetDevID(id);
    }
    EXPECT_EQ(recorder.frames, c.heard);
  }
}

}  // namespace
