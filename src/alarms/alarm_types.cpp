#include "alarms/alarm_types.h"

namespace dova {

namespace {

template <std::size_t N>
std::optional<int> IndexOf(const QString (&texts)[N], const QString& text) {
  for (std::size_t i = 0; i < N; ++i) {
    if (texts[i] == text) return static_cast<int>(i);
  }
  return std::nullopt;
}

const QString kKindTexts[] = {
    QStringLiteral("temperature high"),  QStringLiteral("temperature low"),
    QStringLiteral("lid open too long"), QStringLiteral("gas flow high"),
    QStringLiteral("gas flow low"),      QStringLiteral("device error"),
    QStringLiteral("no data"),           QStringLiteral("log trouble")};
const QString kKindKeys[] = {QStringLiteral("TemperatureHigh"), QStringLiteral("TemperatureLow"),
                             QStringLiteral("LidOpen"),         QStringLiteral("FlowHigh"),
                             QStringLiteral("FlowLow"),         QStringLiteral("DeviceError"),
                             QStringLiteral("NoData"),          QStringLiteral("LogTrouble")};
const QString kSideTexts[] = {QString(), QStringLiteral("Left"), QStringLiteral("Right"),
                              QStringLiteral("Gas")};
const QString kTransitionTexts[] = {
    QStringLiteral("raised"),         QStringLiteral("cleared"),
    QStringLiteral("acknowledged"),   QStringLiteral("shelved"),
    QStringLiteral("unshelved"),      QStringLiteral("re-announced"),
    QStringLiteral("command failed"), QStringLiteral("raised before the restart")};
const QString kStateTexts[] = {QStringLiteral("normal"), QStringLiteral("active, unacknowledged"),
                               QStringLiteral("active, acknowledged"),
                               QStringLiteral("cleared, unacknowledged")};

}  // namespace

std::optional<int> SlotOf(TAlarmKey key) {
  for (std::size_t i = 0; i < kAlarmSlots.size(); ++i) {
    if (kAlarmSlots[i] == key) return static_cast<int>(i);
  }
  return std::nullopt;
}

TAlarmPriority PriorityOf(TAlarmKind kind) {
  switch (kind) {
    case TAlarmKind::LidOpen:
    case TAlarmKind::FlowHigh:
    case TAlarmKind::FlowLow:
      return TAlarmPriority::Medium;
    default:
      return TAlarmPriority::High;
  }
}

const QString& KindText(TAlarmKind kind) {
  return kKindTexts[static_cast<int>(kind)];
}
const QString& KindKey(TAlarmKind kind) {
  return kKindKeys[static_cast<int>(kind)];
}
const QString& SideText(TAlarmSide side) {
  return kSideTexts[static_cast<int>(side)];
}
const QString& PriorityText(TAlarmPriority p) {
  static const QString kMedium = QStringLiteral("medium");
  static const QString kHigh = QStringLiteral("high");
  return p == TAlarmPriority::High ? kHigh : kMedium;
}
const QString& TransitionText(TAlarmTransitionKind t) {
  return kTransitionTexts[static_cast<int>(t)];
}
const QString& StateText(TAlarmState s) {
  return kStateTexts[static_cast<int>(s)];
}

std::optional<TAlarmKind> KindFromText(const QString& text) {
  const auto i = IndexOf(kKindTexts, text);
  return i ? std::optional(static_cast<TAlarmKind>(*i)) : std::nullopt;
}
std::optional<TAlarmSide> SideFromText(const QString& text) {
  const auto i = IndexOf(kSideTexts, text);
  return i ? std::optional(static_cast<TAlarmSide>(*i)) : std::nullopt;
}
std::optional<TAlarmTransitionKind> TransitionFromText(const QString& text) {
  const auto i = IndexOf(kTransitionTexts, text);
  return i ? std::optional(static_cast<TAlarmTransitionKind>(*i)) : std::nullopt;
}

}  // namespace dova
