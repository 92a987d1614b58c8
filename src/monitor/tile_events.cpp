#include "monitor/tile_events.h"

#include <iterator>

namespace dova {

const QString& SideText(TTileSide side) {
  static const QString kTexts[] = {QString(), QStringLiteral("Left"), QStringLiteral("Right"),
                                   QStringLiteral("Gas")};
  return kTexts[static_cast<int>(side)];
}

const QString& StateEventText(TTileEventKind kind) {
  // By kind, in the order of TTileEventKind; asked for every event by several listeners, so
  // one look-up in one table.
  static const QString kTexts[] = {
      QString(),                            // LinkUp
      QString(),                            // LinkDown
      QStringLiteral("Chamber On"),         // ChamberOn
      QStringLiteral("Chamber Off"),        // ChamberOff
      QStringLiteral("Lid Open"),           // LidOpen
      QStringLiteral("Lid Closed"),         // LidClosed
      QStringLiteral("Temperature Error"),  // TempError
      QStringLiteral("Flow On"),            // GasOn
      QStringLiteral("Flow Off"),           // GasOff
      QStringLiteral("Purge Start"),        // PurgeStart
      QStringLiteral("Purge Stop"),         // PurgeStop
      QStringLiteral("CO2 Error"),          // CO2Error
      QStringLiteral("Flow Error"),         // FlowError
      QString(),                            // SetPointAdjusted
      QString(),                            // TempsRead
      QString(),                            // FlowRead
      QString(),                            // RecordDue
      QString(),                            // LogProblem
      QString(),                            // DisplayShown
      QString(),                            // LampShown
  };
  static_assert(std::size(kTexts) == static_cast<std::size_t>(TTileEventKind::LampShown) + 1);
  const auto index = static_cast<std::size_t>(kind);
  return index < std::size(kTexts) ? kTexts[index] : kTexts[0];
}

}  // namespace dova
