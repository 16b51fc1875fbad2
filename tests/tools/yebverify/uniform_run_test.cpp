// Runs of alike parameters are checked a period at a time, a signal's
// samples in a loop of their own, everything else sample by sample. Both
// ways must agree: on streams made of such runs (rates whose sample counts
// are odd and even, so that runs start in either half of a pair, tags that
// wrap past 0), with faults put at random places, a checker with the bulk
// checks and one without report the same failures in the same words and
// count the same samples.
#include <gtest/gtest.h>

#include <bit>
#include <memory>
#include <random>

#include "ParameterList.h"
#include "SignalCheck.h"
#include "StreamChecker.h"
#include "StreamModel.h"
#include "packet/SignalPlan.h"
#include "reference/ReferenceTool.h"

namespace yebverify {
namespace {

using yebverify_test::GetLe32;
using yebverify_test::PutLe32;
using yebverify_test::ReferenceConfig;
using yebverify_test::ReferenceTool;

// Blocks of 4 to 40 parameters of one rate; at 200 packets per second they
// take 1 to 5 samples a packet, or one every 4 packets.
std::vector<double> RateBlocks(std::mt19937& random, int blocks) {
  const double choices[] = {1000, 400, 600, 200, 800, 50};
  std::vector<double> rates;
  for (int b = 0; b < blocks; ++b)
    rates.insert(rates.end(), 4 + random() % 37, choices[random() % 6]);
  return rates;
}

// A mix of patterns: tabled ones, one that never repeats (random), a sine
// (allowed a last bit off), special values and counters between.
constexpr char kSignals[] =
    "* sine amplitude=3 period=0.37\n"
    "rate=600 special\n"
    "rate=200 steps values=1,-2.5 hold=0.01\n"
    "rate=800 random seed=4\n"
    "rate=50 counter\n"
    "#30-60 counter\n";

class Twins {
 public:
  Twins(const ReferenceConfig& config, bool signals) : tool_(config) {
    ParameterList list;
    const platform::Status parsed =
        config.nep ? ParseNepXmlList(tool_.ListText(), list) : ParsePrnList(tool_.ListText(), list);
    EXPECT_TRUE(parsed.ok()) << parsed.message();
    model_ = std::make_unique<StreamModel>(
        list, StreamShape{config.nep ? SourceKind::kNep : SourceKind::kCustom, config.packetRate,
                          config.superStress});
    if (signals) {
      EXPECT_TRUE(packet::ParseSignals(kSignals, &file_).ok());
      std::vector<std::string> names;
      std::vector<double> rates;
      for (const ListedParameter& p : list.parameters) {
        names.push_back(p.name);
        rates.push_back(p.rate);
      }
      plan_ = std::make_unique<packet::SignalPlan>(file_, names, rates);
      check_.plan = plan_.get();
      sampleN_.assign(list.parameters.size(), 0);
    }
    for (int i = 0; i < 2; ++i) {
      checkers_[i] = std::make_unique<StreamChecker>(*model_, TimeOptions{}, logs_[i]);
      if (signals) checkers_[i]->SetSignals(&check_);
      checkers_[i]->BeginConnection();
    }
    checkers_[1]->SetBulkChecks(false);
    nep_ = config.nep;
  }

  // The tool's next packet, its values those of the signals file if any.
  std::vector<uint8_t> NextPacket() {
    std::vector<uint8_t> packet = tool_.NextPacket();
    ++packets_;
    if (plan_) WriteSignals(packet);
    return packet;
  }

  void Check(const std::vector<uint8_t>& packet) {
    for (auto& checker : checkers_) checker->CheckPacket(packet.data(), packet.size());
  }

  uint64_t failures() const { return logs_[0].total(); }

  std::string Failures(int i) const {
    std::string text = logs_[i].CountsText();
    for (const FailureRecord& r : logs_[i].described()) text += "\n" + FormatFailure(r);
    return text + "\nsamples " + std::to_string(checkers_[i]->samplesChecked());
  }

  // Where the values of a packet of `size` bytes lie, one per sample sent,
  // near enough to place faults (a displaced tag-0 sample moves the rest by
  // one).
  std::vector<size_t> ValueOffsets(size_t size) const {
    std::vector<size_t> offsets;
    size_t slot = 0;
    const size_t timeValues = static_cast<size_t>(model_->timeValuesPerPacket());
    for (const RecordPlan& plan : model_->records()) {
      for (uint32_t s = model_->SamplesIn(plan, packets_); s > 0; --s, ++slot) {
        const size_t at = nep_ ? 4 + 12 * timeValues + 8 * slot + 4
                               : 44 + 6 * timeValues + 12 * (slot / 2) + 4 + 4 * (slot % 2);
        if (at + 4 <= size) offsets.push_back(at);
      }
    }
    return offsets;
  }

 private:
  // Each parameter's samples arrive in order, though not all of them (a
  // tag-0 sample may be displaced, a last pending one is never sent), so the
  // sample number is the count of its samples found so far; tags do not
  // repeat in these short lists.
  void WriteSignals(std::vector<uint8_t>& packet) {
    const std::vector<RecordPlan>& records = model_->records();
    std::vector<uint64_t> seen(records.size(), 0);
    auto put = [&](size_t at, uint32_t tag) {
      for (size_t r = 0; r < records.size(); ++r) {
        if (records[r].tag != tag) continue;
        const int32_t id = plan_->SourceOf(r);
        const uint64_t n = sampleN_[r] + seen[r]++;
        if (id >= 0) PutLe32(packet, at, std::bit_cast<uint32_t>(plan_->source(id).At(r + 1, n)));
        return;
      }
    };
    const size_t timeValues = static_cast<size_t>(model_->timeValuesPerPacket());
    if (nep_) {
      for (size_t at = 4 + 12 * timeValues; at + 8 <= packet.size(); at += 8)
        put(at + 4, GetLe32(packet, at));
    } else {
      // A pair whose first tag is 0 is padding.
      for (size_t at = 44 + 6 * timeValues; at + 12 <= packet.size(); at += 12) {
        const uint32_t tags = GetLe32(packet, at);
        if ((tags & 0xFFFF) == 0) break;
        put(at + 4, tags & 0xFFFF);
        put(at + 8, tags >> 16);
      }
    }
    for (size_t r = 0; r < records.size(); ++r)
      sampleN_[r] += model_->SamplesIn(records[r], packets_);
  }

  ReferenceTool tool_;
  std::unique_ptr<StreamModel> model_;
  packet::SignalsFile file_;
  std::unique_ptr<packet::SignalPlan> plan_;
  SignalCheck check_;
  std::vector<uint64_t> sampleN_;
  FailureLog logs_[2];
  std::unique_ptr<StreamChecker> checkers_[2];
  uint64_t packets_ = 0;
  bool nep_ = false;
};

struct Case {
  const char* name;
  bool nep;
  bool superStress;
  int32_t tagOffset;
  bool signals;
};

TEST(UniformRunTest, SameFailuresAsSampleBySample) {
  const Case kCases[] = {
      {"Custom", false, false, 0, false},
      {"Custom, tags through 0", false, false, 65400, false},
      {"Custom, super stress", false, true, 65450, false},
      {"NEP", true, false, 0, false},
      {"Custom signals", false, false, 0, true},
      {"Custom signals, tags through 0", false, false, 65450, true},
      {"NEP signals", true, false, 0, true},
  };
  std::mt19937 random(29);
  for (const Case& c : kCases) {
    uint64_t found = 0;
    for (int trial = 0; trial < 25; ++trial) {
      SCOPED_TRACE(std::string(c.name) + ", trial " + std::to_string(trial));
      Twins twins({c.nep, 200, c.superStress, c.tagOffset, RateBlocks(random, 8)}, c.signals);
      // Faults in the first packets too: a counter learnt from a wrong
      // value is out of step with its neighbours from then on.
      for (int i = 0; i < 6; ++i) {
        std::vector<uint8_t> packet = twins.NextPacket();
        const std::vector<size_t> values = twins.ValueOffsets(packet.size());
        for (int fault = random() % 4; fault > 0; --fault) {
          const size_t at = values[random() % values.size()];
          switch (random() % 4) {
            case 0:  // any bit of the pair or entry
              packet[at - 4 + random() % 8] ^= static_cast<uint8_t>(1u << (random() % 8));
              break;
            case 1:  // a last bit off, which a sine may be
              PutLe32(packet, at, GetLe32(packet, at) + 1);
              break;
            case 2:  // another counter value
              PutLe32(packet, at, std::bit_cast<uint32_t>(static_cast<float>(random() % 100)));
              break;
            default:  // any value
              PutLe32(packet, at, static_cast<uint32_t>(random()));
          }
        }
        twins.Check(packet);
      }
      ASSERT_EQ(twins.Failures(0), twins.Failures(1));
      found += twins.failures();
    }
    EXPECT_GT(found, 0u) << c.name;  // the faults were there to find
  }
}

}  // namespace
}  // namespace yebverify
