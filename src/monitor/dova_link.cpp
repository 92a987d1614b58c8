#include "monitor/dova_link.h"

#include <array>

#include "platform/scheduler.h"

namespace dova {

using protocol::TReplyParts;
using protocol::TTag;

namespace {

// The poll table: what each step asks for. Step 16 asks PFLW instead while a purge runs.
struct PollCommands {
  std::array<QByteArray, 18> steps;
  QByteArray purgeFlow;
  PollCommands() {
    const char* table[18][2] = {
        {"G", "SERL"}, {"G", "NICK"}, {"G", "LBSP"}, {"R", "DISP"}, {"G", "RBSP"}, {"R", "DISP"},
        {"G", "GFSP"}, {"R", "DISP"}, {"R", "LBT1"}, {"R", "DISP"}, {"R", "LBT2"}, {"R", "DISP"},
        {"R", "RBT1"}, {"R", "DISP"}, {"R", "RBT2"}, {"R", "DISP"}, {"R", "FLOW"}, {"R", "DISP"}};
    for (std::size_t i = 0; i < steps.size(); ++i) {
      const QString tag = QString::fromLatin1(table[i][1]);
      steps[i] = table[i][0][0] == 'G' ? protocol::BuildGet(tag) : protocol::BuildRead(tag);
    }
    purgeFlow = protocol::BuildRead(u"PFLW");
  }
};

const PollCommands& Commands() {
  static const PollCommands commands;
  return commands;
}

}  // namespace

TDovaLink::TDovaLink(Scheduler& sched, TIncubatorState& state)
    : Timer1(sched, 1000, false), sched_(sched), state_(state) {}

TDovaLink::~TDovaLink() {
  // A link freed without Close must not leave its handler with a port that lives on.
  if (Port && !closed_) Port->SetOnLine({});
}

void TDovaLink::Attach(TUSBXpress& port) {
  SerialKnown = false;
  NameKnown = false;
  Port = &port;
  Port->SetOnLine([this](TUSBXpress&, const QByteArray& line) { HandleReply(line); });
  Port->SetActive(true);
  PollStep = 0;
  Timer1.SetOnTimer([this] { Timer1Timer(); });
  Timer1.SetInterval(kSerialPollMs);
  Timer1.SetEnabled(true);
}

const QByteArray& TDovaLink::PollCommand(std::uint8_t step) {
  return Commands().steps[step];
}

void TDovaLink::Timer1Timer() {
  if (PollStep == 16 && state_.Purging) {
    SendCommand(Commands().purgeFlow);
  } else if (PollStep <= kLastPollStep) {
    SendCommand(PollCommand(PollStep));
  }
  if (!SerialKnown) return;  // keep asking SERL every 50 ms
  if (PollStep == 1) name_asked_ = sched_.Now();
  PollStep = PollStep >= kLastPollStep ? kFirstCycleStep : static_cast<std::uint8_t>(PollStep + 1);
  if (!NameKnown && MillisecondsBetween(name_asked_, sched_.Now()) >= kNameRetryMs) {
    PollStep = 1;  // the name reply never came: ask again at the next tick
  }
  Timer1.SetInterval(kPollMs);
}

void TDovaLink::SendCommand(const QByteArray& command) {
  if (!Port) return;
  try {
    Port->Write(command);
  } catch (...) {
    Failed();
  }
}

void TDovaLink::Failed() {
  // The device is gone (or refuses writes): stop reading and let the main window close us.
  Port->SetActive(false);
  if (OnFailed) OnFailed();
}

void TDovaLink::Close() {
  Timer1.SetEnabled(false);
  if (Port) {
    Port->Close();
    Port->SetOnLine({});
  }
  closed_ = true;
}

void TDovaLink::HandleReply(const QByteArray& line) {
  const TReplyParts parts = protocol::SplitReply(line);
  if (parts.Tag == TTag::None) return;
  // One guard per reply: whatever fails ends this reply's handling and keeps what was done.
  try {
    Dispatch(parts);
  } catch (...) {
  }
}

void TDovaLink::Dispatch(const TReplyParts& parts) {
  TReply reply;
  reply.Tag = parts.Tag;
  switch (parts.Tag) {
    case TTag::SERL:
      Serial = parts.Value();
      // The number itself is not kept, only that it is one.
      if (!protocol::ParseValue(parts)) return;
      SerialKnown = true;
      return;
    case TTag::NICK:
      NameKnown = true;
      if (OnNamed) OnNamed(parts.Value());
      return;
    case TTag::DISP:
      if (parts.Ascii) {
        // Copy into a buffer we keep, so that a steady display costs no allocation.
        const auto& v = parts.AsciiValue;
        disp_buffer_.resize(static_cast<qsizetype>(v.size()));
        QChar* out = disp_buffer_.data();
        for (std::size_t i = 0; i < v.size(); ++i)
          out[i] = QChar(static_cast<char16_t>(v[i]));
        reply.Text = disp_buffer_;
      } else {
        reply.Text = parts.TextValue;
      }
      break;
    default:
      reply.Number = protocol::ParseValue(parts);
      break;
  }
  state_.Handle(reply);
}

}  // namespace dova
