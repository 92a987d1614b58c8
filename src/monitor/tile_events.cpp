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

}  // namespace dova
