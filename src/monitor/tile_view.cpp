#include "monitor/tile_view.h"

namespace dova {

TLabelState& TTileView::Label(TTileSide side) {
  switch (side) {
    case TTileSide::Left:
      return LeftTempDisplay;
    case TTileSide::Right:
      return RightTempDisplay;
    default:
      return GasFlowDisplay;
  }
}

void TTileView::SetCaptionText(const QString& text) {
  Caption.Text = text;
  Changed();
}

void TTileView::ShowField(TTileSide side, QStringView text) {
  TLabelState& label = Label(side);
  if (label.Text != text) {
    label.Text = text.toString();
    Changed();
  }
}

void TTileView::ShowLamp(TTileSide side, QChar code) {
  TColor fill;
  switch (code.unicode()) {
    case u' ':
      fill = clLampSilver;
      break;
    case u'A':
      fill = clLampAmber;
      break;
    case u'G':
      fill = clLampGreen;
      break;
    case u'R':
      fill = clLampRed;
      break;
    default:
      return;  // an unknown code leaves the lamp as it is
  }
  TColor& lamp = side == TTileSide::Left ? LeftTLed : side == TTileSide::Right ? RightTLed : GasLed;
  if (lamp != fill) {
    lamp = fill;
    Changed();
  }
}

void TTileView::OnEvent(const TTileEvent& event) {
  if (event.Kind == TTileEventKind::DisplayShown) {
    ShowField(event.Side, event.Text);
  } else if (event.Kind == TTileEventKind::LampShown && !event.Text.isEmpty()) {
    ShowLamp(event.Side, event.Text.front());
  }
}

void TTileView::SetVisible(bool visible) {
  if (Visible == visible) return;
  Visible = visible;
  Changed();
}

void TTileView::SetLabelColors(TColor temp, TColor gas) {
  LeftTempDisplay.Font = temp;
  RightTempDisplay.Font = temp;
  GasFlowDisplay.Font = gas;
}

void TTileView::ShowSelected() {
  Caption.Background = clActiveCaption;
  Caption.Font = clWhite;
  SetLabelColors(clTempSelected, clGasSelected);
  Changed();
}

void TTileView::ShowPlain() {
  Caption.Background = clTileBlue;
  Caption.Font = clSilver;
  SetLabelColors(clTempPlain, clGasPlain);
  Changed();
}

}  // namespace dova
