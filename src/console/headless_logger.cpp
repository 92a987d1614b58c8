#include "console/headless_logger.h"

#include "app/run.h"

#include <QDir>

#include "graphs/gas_graph.h"
#include "graphs/temp_graph.h"

namespace dova {

namespace {

QChar LampLetter(TColor lamp) {
  switch (lamp) {
    case clLampGreen:
      return u'G';
    case clLampAmber:
      return u'A';
    case clLampRed:
      return u'R';
    default:
      return u'-';
  }
}

QString Reading(const TLineSeries& series, double set_point, int decimals) {
  const QString value =
      series.Empty() ? QStringLiteral("--") : QString::number(series.Last().y, 'f', decimals);
  return value + u'/' + QString::number(set_point, 'f', decimals);
}

QString Column(const QString& text, int width) {
  return text.left(width).leftJustified(width);
}

}  // namespace

QString Printable(const QString& text) {
  QString out;
  out.reserve(text.size());
  for (const QChar c : text) {
    const char16_t u = c.unicode();
    // Control characters (escape sequences among them) would drive the user's terminal.
    if (u < 0x20 || (u >= 0x7F && u < 0xA0)) {
      out += QStringLiteral("\\x") + QString::number(u, 16).rightJustified(2, u'0');
    } else {
      out += c;
    }
  }
  return out;
}

QString StatusHeader() {
  return Column(QStringLiteral("Incubator"), 24) + Column(QStringLiteral("Left"), 6) +
         Column(QStringLiteral("Gas"), 6) + Column(QStringLiteral("Right"), 6) +
         Column(QStringLiteral("L temp/sp"), 12) + Column(QStringLiteral("Gas ml/min"), 12) +
         Column(QStringLiteral("R temp/sp"), 12) + Column(QStringLiteral("Lamps"), 6) +
         Column(QStringLiteral("Alarms"), 9) + QStringLiteral("Last event");
}

QString StatusLine(const TDovaPanel& p, const QString& last_event, const QString& alarm) {
  auto temps = [](const std::unique_ptr<TTempGraph>& g, std::int32_t sp) {
    return g ? Reading(g->TempSeries(), sp / 10.0, 1) : QStringLiteral("--");
  };
  const QString gas = p.GasFlowGraph ? Reading(p.GasFlowGraph->FlowSeries(), p.GasSetPoint, 0)
                                     : QStringLiteral("--");
  const QString lamps =
      QString(LampLetter(p.LeftTLed)) + LampLetter(p.GasLed) + LampLetter(p.RightTLed);
  return Column(Printable(p.Caption.Text), 23) + u' ' +
         Column(Printable(p.LeftTempDisplay.Text), 6) + Column(p.GasFlowDisplay.Text, 6) +
         Column(p.RightTempDisplay.Text, 6) + Column(temps(p.LeftTempGraph, p.LeftSetPoint), 12) +
         Column(gas, 12) + Column(temps(p.RightTempGraph, p.RightSetPoint), 12) + Column(lamps, 6) +
         Column(alarm, 9) + last_event;
}

THeadlessLogger::THeadlessLogger(Scheduler& sched, bridge::SiLibrary& library,
                                 SettingsStore& settings, KeepAwake& awake, const LogFormat& format,
                                 TOptions options, std::function<void(const QString&)> print)
    : format_(format),
      options_(std::move(options)),
      print_(std::move(print)),
      dialogs_([this](const QString& line) { Print(line); }),
      status_timer_(sched, kStatusMs, true) {
  form_ = std::make_unique<TMainForm>(TMainFormServices{
      sched, library, settings, awake, dialogs_, format,
      TDialogs{dialogs_, dialogs_, dialogs_, dialogs_, dialogs_}, options_.DocumentsFolder});
  for (const QString& problem : form_->SettingsProblems)
    Print(QStringLiteral("Settings: ") + problem);
  // Run-only overrides, applied before any incubator can have told its name.
  ApplyRunOptions(*form_, options_.DataDir, options_.LogInterval);
  Print(QStringLiteral("Logging into ") + QDir::toNativeSeparators(form_->Directory) +
        QStringLiteral(" every ") + QString::number(form_->LogInterval) + QStringLiteral(" min"));
  form_->OnPanelChange = [this](const TDovaPanel& panel, TMainForm::TPanelChange change) {
    const QString when =
        format_.Timestamp(form_->USBXpressEnumerator.ScanTimer().GetScheduler().Now());
    switch (change) {
      case TMainForm::TPanelChange::Created:
        subscriptions_[&panel] =
            panel.Events().Subscribe([this, &panel](const TTileEvent& e) { PrintEvent(panel, e); });
        break;
      case TMainForm::TPanelChange::Listed:
        Print(when + u' ' + Printable(panel.Caption.Text) +
              QStringLiteral(": connected, logging to ") + Printable(panel.LogFilePath()));
        break;
      case TMainForm::TPanelChange::Closing:
        Print(when + u' ' + Printable(panel.Caption.Text) + QStringLiteral(": link lost"));
        break;
      case TMainForm::TPanelChange::Freed:
        Print(when + u' ' + Printable(panel.Caption.Text) + QStringLiteral(": disconnected"));
        if (const auto it = subscriptions_.find(&panel); it != subscriptions_.end()) {
          panel.Events().Unsubscribe(it->second);
          subscriptions_.erase(it);
        }
        last_event_.erase(&panel);
        break;
    }
  };
  status_timer_.SetOnTimer([this] { StatusTimerTimer(); });
}

THeadlessLogger::~THeadlessLogger() {
  for (const auto& [panel, subscription] : subscriptions_)
    panel->Events().Unsubscribe(subscription);
  subscriptions_.clear();
  form_.reset();
}

void THeadlessLogger::Close() {
  status_timer_.SetEnabled(false);
  EraseTable();
  form_->Close();
}

void THeadlessLogger::EraseTable() {
  if (!options_.Terminal || table_lines_ == 0) return;
  // Cursor to the start of the table's first line, then clear to the end of the screen.
  print_(QStringLiteral("\x1b[%1F\x1b[J").arg(table_lines_) + QStringLiteral("\x1b[1A"));
  table_lines_ = 0;
}

void THeadlessLogger::Print(const QString& line) {
  EraseTable();
  print_(line);
}

void THeadlessLogger::PrintEvent(const TDovaPanel& panel, const TTileEvent& e) {
  QString event;
  if (e.Kind == TTileEventKind::SetPointAdjusted) {
    event = SideText(e.Side) + QStringLiteral(" Set-Point Adjusted, ") +
            format_.Number(e.Value, e.Decimals);
  } else {
    // Changes as they happen, and errors also when they are found at the start.
    const QString& text = StateEventText(e.Kind);
    if (text.isEmpty() || (e.Initial && !IsErrorEvent(e.Kind))) return;
    event = SideText(e.Side) + u' ' + text;
  }
  last_event_[&panel] = event;
  Print(format_.Timestamp(e.Time) + u' ' + Printable(panel.Caption.Text) + QStringLiteral(": ") +
        event);
}

void THeadlessLogger::StatusTimerTimer() {
  if (!options_.Terminal) return;
  EraseTable();
  QString table = StatusHeader();
  for (const TDovaPanel* p : form_->ActivePanels)
    table += u'\n' + StatusLine(*p, last_event_[p],
                                options_.AlarmColumn ? options_.AlarmColumn(*p) : QString());
  if (form_->ActivePanels.empty()) table += QStringLiteral("\n(no incubator connected)");
  print_(table);
  table_lines_ = static_cast<int>(table.count(u'\n')) + 1;
}

}  // namespace dova
