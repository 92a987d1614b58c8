#pragma once

#include <QChar>
#include <QString>
#include <QStringView>
#include <cstdint>
#include <functional>

#include "monitor/tile_events.h"

namespace dova {

// Colours as 0xRRGGBB. Values with the top byte set stand for a colour of the desktop
// theme that the renderer looks up (only the active caption colour is used).
using TColor = std::uint32_t;
constexpr TColor Rgb(std::uint8_t r, std::uint8_t g, std::uint8_t b) {
  return static_cast<TColor>(r) << 16 | static_cast<TColor>(g) << 8 | b;
}
inline constexpr TColor clActiveCaption = 0xFF000002u;
constexpr bool IsSystemColor(TColor c) {
  return (c & 0xFF000000u) != 0;
}
constexpr std::uint8_t RedOf(TColor c) {
  return static_cast<std::uint8_t>(c >> 16);
}
constexpr std::uint8_t GreenOf(TColor c) {
  return static_cast<std::uint8_t>(c >> 8);
}
constexpr std::uint8_t BlueOf(TColor c) {
  return static_cast<std::uint8_t>(c);
}

inline constexpr TColor clTileBlue = Rgb(39, 139, 224);
inline constexpr TColor clWhite = Rgb(255, 255, 255);
inline constexpr TColor clSilver = Rgb(192, 192, 192);
inline constexpr TColor clMaroon = Rgb(128, 0, 0);
inline constexpr TColor clGreen = Rgb(0, 128, 0);
// Lamp fills.
inline constexpr TColor clLampSilver = Rgb(192, 192, 192);
inline constexpr TColor clLampAmber = Rgb(255, 220, 21);
inline constexpr TColor clLampGreen = Rgb(0, 255, 0);
inline constexpr TColor clLampRed = Rgb(255, 0, 0);
// Value label text: bright while selected, dimmer otherwise.
inline constexpr TColor clTempSelected = Rgb(255, 62, 62);
inline constexpr TColor clGasSelected = Rgb(0, 255, 0);
inline constexpr TColor clTempPlain = Rgb(240, 0, 0);
inline constexpr TColor clGasPlain = Rgb(0, 213, 0);

// A text label as plain state: what it says and its colours.
struct TLabelState {
  QString Text;
  TColor Font = clWhite;
  TColor Background = clTileBlue;
  bool operator==(const TLabelState&) const = default;
};

// What the tile shows, as plain state: its caption, the front panel's three value labels
// and three lamps, whether it is shown, and its selected or plain look. The tile widget
// draws it and hears of every change through the view-change hook.
class TTileView {
 public:
  using TViewEvent = std::function<void()>;

  // What a temperature label says until the incubator's display is read.
  static inline const QString kTempDesignText = QStringLiteral("37.0");

  QString Hint = QStringLiteral("Click to select DOVA");
  bool Visible = false;
  TColor Color = clTileBlue;
  TLabelState Caption{QStringLiteral("DOVA"), clWhite, clActiveCaption};
  TLabelState LeftTempDisplay{kTempDesignText, clTempSelected, clMaroon};
  TLabelState GasFlowDisplay{QStringLiteral("OFF"), clGasSelected, clGreen};
  TLabelState RightTempDisplay{kTempDesignText, clTempSelected, clMaroon};
  TColor LeftTLed = clLampSilver;
  TColor GasLed = clLampSilver;
  TColor RightTLed = clLampSilver;

  void SetCaptionText(const QString& text);
  // A display field's text as the label shows it: blanks and control characters off both
  // ends.
  void ShowField(TTileSide side, QStringView text);
  // A lamp code of the display: ' ' off, 'A' amber, 'G' green, 'R' red; any other code
  // leaves the lamp as it is.
  void ShowLamp(TTileSide side, QChar code);
  void SetVisible(bool visible);
  // Follows the tile's events: the front panel's display fields and lamps.
  void OnEvent(const TTileEvent& event);
  void ShowSelected();
  void ShowPlain();

  void SetOnViewChange(TViewEvent handler) { on_view_change_ = std::move(handler); }
  void Changed() {
    if (on_view_change_) on_view_change_();
  }

 private:
  TLabelState& Label(TTileSide side);
  void SetLabelColors(TColor temp, TColor gas);

  TViewEvent on_view_change_;
};

}  // namespace dova
