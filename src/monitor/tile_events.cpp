#include "monitor/tile_events.h"

#include <algorithm>

namespace dova {

const QString& SideText(TTileSide side) {
  static const QString kTexts[] = {QString(), QStringLiteral("Left"), QStringLiteral("Right"),
                                   QStringLiteral("Gas")};
  return kTexts[static_cast<int>(side)];
}

const QString& StateEventText(TTileEventKind kind) {
  static const QString kNone;
  static const QString kChamberOn = QStringLiteral("Chamber On");
  static const QString kChamberOff = QStringLiteral("Chamber Off");
  static const QString kLidOpen = QStringLiteral("Lid Open");
  static const QString kLidClosed = QStringLiteral("Lid Closed");
  static const QString kTempError = QStringLiteral("Temperature Error");
  static const QString kGasOn = QStringLiteral("Flow On");
  static const QString kGasOff = QStringLiteral("Flow Off");
  static const QString kPurgeStart = QStringLiteral("Purge Start");
  static const QString kPurgeStop = QStringLiteral("Purge Stop");
  static const QString kCO2Error = QStringLiteral("CO2 Error");
  static const QString kFlowError = QStringLiteral("Flow Error");
  switch (kind) {
    case TTileEventKind::ChamberOn:
      return kChamberOn;
    case TTileEventKind::ChamberOff:
      return kChamberOff;
    case TTileEventKind::LidOpen:
      return kLidOpen;
    case TTileEventKind::LidClosed:
      return kLidClosed;
    case TTileEventKind::TempError:
      return kTempError;
    case TTileEventKind::GasOn:
      return kGasOn;
    case TTileEventKind::GasOff:
      return kGasOff;
    case TTileEventKind::PurgeStart:
      return kPurgeStart;
    case TTileEventKind::PurgeStop:
      return kPurgeStop;
    case TTileEventKind::CO2Error:
      return kCO2Error;
    case TTileEventKind::FlowError:
      return kFlowError;
    default:
      return kNone;
  }
}

TTileEventStream::TSubscription TTileEventStream::Subscribe(TListener listener) {
  const TSubscription id = next_id_++;
  slots_.push_back(TSlot{id, std::move(listener)});
  return id;
}

void TTileEventStream::Unsubscribe(TSubscription subscription) {
  for (TSlot& slot : slots_) {
    if (slot.Id != subscription) continue;
    slot.Listener = nullptr;
    dirty_ = true;
    break;
  }
  if (delivering_ == 0) Compact();
}

void TTileEventStream::Emit(const TTileEvent& event) {
  ++delivering_;
  // By index and up to the count at the start: listeners added meanwhile wait for the next
  // event, and the vector may grow (and move) under us.
  const std::size_t count = slots_.size();
  try {
    for (std::size_t i = 0; i < count; ++i) {
      if (!slots_[i].Listener) continue;
      // A copy, so a listener that unsubscribes itself does not destroy the running call.
      const TListener listener = slots_[i].Listener;
      listener(event);
    }
  } catch (...) {
    if (--delivering_ == 0) Compact();
    throw;
  }
  if (--delivering_ == 0) Compact();
}

std::size_t TTileEventStream::ListenerCount() const {
  return static_cast<std::size_t>(std::count_if(
      slots_.begin(), slots_.end(), [](const TSlot& s) { return static_cast<bool>(s.Listener); }));
}

void TTileEventStream::Compact() {
  if (!dirty_) return;
  std::erase_if(slots_, [](const TSlot& s) { return !s.Listener; });
  dirty_ = false;
}

}  // namespace dova
