#include "ui/history/log_viewer.h"

#include <QComboBox>
#include <QCryptographicHash>
#include <QDateTimeEdit>
#include <QDialog>
#include <QDialogButtonBox>
#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QInputDialog>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMenuBar>
#include <QMessageBox>
#include <QPrintDialog>
#include <QPrinter>
#include <QProgressDialog>
#include <QPushButton>
#include <QSettings>
#include <QSplitter>
#include <QTableWidget>
#include <QVBoxLayout>
#include <cmath>

#include "alarms/alarm_settings.h"
#include "history/alarm_context.h"
#include "history/period_report.h"
#include "platform/settings/settings_store.h"
#include "platform/virtual_scheduler.h"
#include "ui/graphs/graph_windows.h"
#include "ui/graphs/trend_chart.h"
#include "ui/history/stored_report.h"

namespace dova::ui {

namespace {

constexpr int kRecentLogs = 8;
const QString kRecentKey = QStringLiteral("RecentLogs");

QSettings ProgramSettings() {
  return QSettings(QStringLiteral("Harl"), QStringLiteral("DOVA300"));
}

// Where the name and serial the user gave a log file are kept: one value per file, named by
// a hash of its full path (a path is no settings name).
QString IncubatorKey(const QString& path) {
  const QByteArray full = QFileInfo(path).absoluteFilePath().toUtf8();
  return QStringLiteral("LogIncubators/") +
         QString::fromLatin1(QCryptographicHash::hash(full, QCryptographicHash::Sha1).toHex());
}

}  // namespace

QStringList RecentLogs() {
  return ProgramSettings().value(kRecentKey).toStringList();
}

void RememberLog(const QString& path) {
  const QString full = QFileInfo(path).absoluteFilePath();
  QStringList list = RecentLogs();
  list.removeAll(full);
  list.prepend(full);
  while (list.size() > kRecentLogs)
    list.removeLast();
  ProgramSettings().setValue(kRecentKey, list);
}

TLogViewer::TLogViewer(const QString& path, QWidget* parent)
    : QWidget(parent, Qt::Window), path_(path), scheduler_(std::make_unique<VirtualScheduler>()) {
  setAttribute(Qt::WA_DeleteOnClose);
  name_ = IncubatorFromFileName(path);
  // As the user corrected it when the file was open before.
  const QStringList kept = ProgramSettings().value(IncubatorKey(path)).toStringList();
  if (kept.size() == 2) name_ = {kept[0], kept[1]};
  ShowTitle();
  Build();
  Reload();
}

TLogViewer::~TLogViewer() {
  // The windows go before the models they draw.
  delete charts_;
  charts_ = nullptr;
}

bool TLogViewer::Loaded() const {
  return view_ != nullptr;
}

void TLogViewer::ShowTitle() {
  setWindowTitle(name_.Name + QStringLiteral(": ") + name_.Serial + QStringLiteral(" - ") +
                 QFileInfo(path_).fileName());
}

void TLogViewer::SetIncubator(const TIncubatorName& name) {
  name_ = name;
  ShowTitle();
  if (!view_) return;
  const QString caption = name_.Name + QStringLiteral(": ") + name_.Serial;
  view_->Left->SetCaption(caption + QStringLiteral(" - Left Temperature"));
  view_->Right->SetCaption(caption + QStringLiteral(" - Right Temperature"));
  view_->Gas->SetCaption(caption + QStringLiteral(" - Gas Flow"));
  // Another serial may have another alarm band.
  Fill();
}

bool TLogViewer::EditIncubator() {
  QDialog dialog(this);
  dialog.setWindowTitle(QStringLiteral("Incubator of the log"));
  auto* form = new QFormLayout(&dialog);
  form->addRow(new QLabel(QStringLiteral("A log names neither the incubator nor its serial "
                                         "number; they come from the file name."),
                          &dialog));
  auto* name = new QLineEdit(name_.Name, &dialog);
  auto* serial = new QLineEdit(name_.Serial, &dialog);
  form->addRow(QStringLiteral("&Name:"), name);
  form->addRow(QStringLiteral("&Serial number:"), serial);
  auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, &dialog);
  form->addRow(buttons);
  connect(buttons, &QDialogButtonBox::accepted, &dialog, &QDialog::accept);
  connect(buttons, &QDialogButtonBox::rejected, &dialog, &QDialog::reject);
  if (dialog.exec() != QDialog::Accepted) return false;
  const TIncubatorName corrected{name->text().trimmed(), serial->text().trimmed()};
  const TIncubatorName from_file = IncubatorFromFileName(path_);
  if (corrected.Name == from_file.Name && corrected.Serial == from_file.Serial) {
    ProgramSettings().remove(IncubatorKey(path_));
  } else {
    ProgramSettings().setValue(IncubatorKey(path_), QStringList{corrected.Name, corrected.Serial});
  }
  SetIncubator(corrected);
  return true;
}

void TLogViewer::Build() {
  auto* layout = new QVBoxLayout(this);
  auto* bar = new QHBoxLayout;
  period_ = new QComboBox(this);
  period_->addItems({QStringLiteral("Whole file"), QStringLiteral("Last 24 hours"),
                     QStringLiteral("Last 7 days"), QStringLiteral("Last 30 days"),
                     QStringLiteral("From - to")});
  from_ = new QDateTimeEdit(this);
  to_ = new QDateTimeEdit(this);
  for (QDateTimeEdit* edit : {from_, to_}) {
    edit->setCalendarPopup(true);
    edit->setDisplayFormat(QStringLiteral("yyyy-MM-dd HH:mm"));
  }
  auto* reload = new QPushButton(QStringLiteral("&Reload"), this);
  auto* csv = new QPushButton(QStringLiteral("Export &CSV..."), this);
  auto* report = new QPushButton(QStringLiteral("&Report PDF..."), this);
  auto* charts = new QPushButton(QStringLiteral("Export c&harts..."), this);
  auto* print = new QPushButton(QStringLiteral("&Print..."), this);
  auto* incubator = new QPushButton(QStringLiteral("&Incubator..."), this);
  bar->addWidget(new QLabel(QStringLiteral("Period:"), this));
  bar->addWidget(period_);
  bar->addWidget(from_);
  bar->addWidget(to_);
  bar->addStretch();
  for (QPushButton* b : {incubator, reload, csv, charts, report, print})
    bar->addWidget(b);

  // The same commands in a File menu of the viewer's own.
  auto* menus = new QMenuBar(this);
  QMenu* file = menus->addMenu(QStringLiteral("&File"));
  const auto item = [this, file](const QString& text, QPushButton* button, QKeySequence keys = {}) {
    QAction* action = file->addAction(text);
    action->setShortcut(keys);
    connect(action, &QAction::triggered, button, &QPushButton::click);
  };
  item(QStringLiteral("&Incubator Name and Serial..."), incubator);
  item(QStringLiteral("&Reload"), reload, QKeySequence::Refresh);
  file->addSeparator();
  item(QStringLiteral("Export &CSV..."), csv);
  item(QStringLiteral("Export C&harts..."), charts);
  item(QStringLiteral("&Report PDF..."), report);
  item(QStringLiteral("&Print Report..."), print, QKeySequence::Print);
  file->addSeparator();
  connect(file->addAction(QStringLiteral("&Close")), &QAction::triggered, this, &QWidget::close);
  layout->setMenuBar(menus);
  layout->addLayout(bar);

  auto* split = new QSplitter(Qt::Horizontal, this);
  charts_ = new QWidget(split);
  new QVBoxLayout(charts_);
  charts_->layout()->setContentsMargins(0, 0, 0, 0);
  table_ = new QTableWidget(split);
  table_->setColumnCount(4);
  table_->setHorizontalHeaderLabels(
      {QString(), QStringLiteral("Left"), QStringLiteral("Right"), QStringLiteral("Gas")});
  table_->verticalHeader()->hide();
  table_->setEditTriggers(QAbstractItemView::NoEditTriggers);
  // Every column in view at once: the figures share the width, long ones ("36.2 °C at 7 Dec
  // 2026 09:35:01") wrap onto a second line and the row grows to hold them.
  table_->setWordWrap(true);
  table_->horizontalHeader()->setSectionResizeMode(QHeaderView::Stretch);
  table_->horizontalHeader()->setSectionResizeMode(0, QHeaderView::ResizeToContents);
  table_->verticalHeader()->setSectionResizeMode(QHeaderView::ResizeToContents);
  table_->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
  table_->setTextElideMode(Qt::ElideNone);
  split->setStretchFactor(0, 3);
  split->setStretchFactor(1, 2);
  // The charts take three fifths of the width to begin with, the figures the rest.
  split->setSizes({3 * 256, 2 * 256});
  layout->addWidget(split, 1);
  status_ = new QLabel(this);
  layout->addWidget(status_);
  resize(1280, 760);

  connect(period_, &QComboBox::activated, this, [this](int index) { ShowPreset(index); });
  connect(from_, &QDateTimeEdit::editingFinished, this, [this] { ShowFromTo(); });
  connect(to_, &QDateTimeEdit::editingFinished, this, [this] { ShowFromTo(); });
  connect(reload, &QPushButton::clicked, this, [this] { Reload(); });
  connect(incubator, &QPushButton::clicked, this, [this] { EditIncubator(); });
  connect(print, &QPushButton::clicked, this, [this] { PrintReportWithDialog(); });
  connect(csv, &QPushButton::clicked, this, [this] {
    const QString out = QFileDialog::getSaveFileName(this, QStringLiteral("Export CSV"), {},
                                                     QStringLiteral("CSV (*.csv)"));
    if (!out.isEmpty() && !ExportCsv(out))
      QMessageBox::warning(this, QStringLiteral("Export CSV"),
                           QStringLiteral("Cannot write ") + out);
  });
  connect(report, &QPushButton::clicked, this, [this] {
    const QString out = QFileDialog::getSaveFileName(this, QStringLiteral("Report PDF"), {},
                                                     QStringLiteral("PDF (*.pdf)"));
    if (!out.isEmpty() && !ExportReport(out))
      QMessageBox::warning(this, QStringLiteral("Report PDF"),
                           QStringLiteral("Cannot write ") + out);
  });
  connect(charts, &QPushButton::clicked, this, [this] {
    const QString dir = QFileDialog::getExistingDirectory(this, QStringLiteral("Export charts"));
    if (!dir.isEmpty() && !ExportCharts(dir))
      QMessageBox::warning(this, QStringLiteral("Export charts"),
                           QStringLiteral("Cannot write in ") + dir);
  });
}

void TLogViewer::Reload() {
  TStoredLogReader reader(path_);
  QProgressDialog progress(QStringLiteral("Reading ") + QFileInfo(path_).fileName(),
                           QStringLiteral("Cancel"), 0, 1000, this);
  progress.setMinimumDuration(500);
  auto result = reader.Refresh([&](std::int64_t done, std::int64_t total) {
    progress.setValue(total > 0 ? static_cast<int>(done * 1000 / total) : 1000);
    return !progress.wasCanceled();
  });
  progress.reset();
  if (result == TStoredLogReader::TResult::Read && reader.Guess().Ambiguous && isVisible()) {
    // Day and month could be either way round: the user knows where the file comes from.
    QStringList names{reader.Guess().Locale.name()};
    for (const QLocale& l : reader.Guess().Alternatives)
      names << l.name();
    bool ok = false;
    const QString chosen = QInputDialog::getItem(
        this, QStringLiteral("Dates of the log"),
        QStringLiteral("The dates read in more than one way. The computer that wrote the log "
                       "was set to:"),
        names, 0, false, &ok);
    if (ok && chosen != names[0]) result = reader.Reread(QLocale(chosen));
  }
  if (result != TStoredLogReader::TResult::Read) {
    problem_ = result == TStoredLogReader::TResult::Cancelled ? QStringLiteral("Reading cancelled")
                                                              : reader.Error();
    status_->setText(problem_);
    return;
  }
  problem_.clear();
  RememberLog(path_);
  delete left_;
  delete right_;
  delete gas_;
  view_.reset();
  const TStoredLog& log = reader.Log();
  QString status = QString::number(log.LinesRead) + QStringLiteral(" lines read under ") +
                   reader.Guess().Locale.name();
  if (log.Unread.Count > 0 || log.UnendedLine > 0) {
    QStringList lines;
    for (const std::int64_t n : log.Unread.First)
      lines << QString::number(n);
    if (log.UnendedLine > 0) lines << QString::number(log.UnendedLine);
    status += QStringLiteral("; ") +
              QString::number(log.Unread.Count + (log.UnendedLine > 0 ? 1 : 0)) +
              QStringLiteral(" unreadable (lines ") + lines.join(QStringLiteral(", ")) +
              QStringLiteral(")");
  }
  read_status_ = status;
  view_ = std::make_unique<TStoredView>(TStoredView::Make(
      *scheduler_, reader.TakeLog(), name_.Name + QStringLiteral(": ") + name_.Serial));
  left_ = new TTempGraph(*view_->Left, charts_);
  right_ = new TTempGraph(*view_->Right, charts_);
  gas_ = new TGasGraph(*view_->Gas, charts_);
  for (QWidget* w :
       {static_cast<QWidget*>(left_), static_cast<QWidget*>(right_), static_cast<QWidget*>(gas_)}) {
    charts_->layout()->addWidget(w);
    w->show();
  }
  ShowPreset(period_->currentIndex());
}

void TLogViewer::ShowPreset(int index) {
  if (!view_) return;
  const TStoredLog& log = *view_->Log;
  if (std::isnan(log.FirstTime)) return;
  if (index >= 4) {
    ShowFromTo();
    return;
  }
  const TPeriod p =
      PresetPeriod(log.FirstTime, log.LastTime, static_cast<TPeriodPreset>(std::max(0, index)));
  ShowPeriod(p.From, p.To);
}

void TLogViewer::ShowFromTo() {
  if (!view_) return;
  period_->setCurrentIndex(4);
  ShowPeriod(DateTimeFromQDateTime(from_->dateTime()), DateTimeFromQDateTime(to_->dateTime()));
}

void TLogViewer::ShowPeriod(double from, double to) {
  if (to < from) std::swap(from, to);
  shown_from_ = from;
  shown_to_ = to;
  from_->setDateTime(QDateTimeFromDateTime(from));
  to_->setDateTime(QDateTimeFromDateTime(to));
  view_->ShowPeriod(from, to);
  Fill();
}

void TLogViewer::Fill() {
  if (!view_) return;
  const QSettingsStore store;
  TAlarmSettings settings(&store);
  const TAlarmBand band = AlarmBandOf(settings, name_.Serial);
  const TPeriodReport report = BuildPeriodReport(
      *view_->Log, view_->Stats(shown_from_, shown_to_, band), {}, band, locale());
  status_->setText(read_status_ + QStringLiteral("; alarm band ") + AlarmBandText(band, locale()));
  table_->setRowCount(static_cast<int>(report.Statistics.size()));
  int r = 0;
  for (const TPeriodReport::TRow& row : report.Statistics) {
    const QString cells[] = {row.Label, row.Left, row.Right, row.Gas};
    for (int c = 0; c < 4; ++c)
      table_->setItem(r, c, new QTableWidgetItem(cells[c]));
    ++r;
  }
}

bool TLogViewer::ExportCsv(const QString& path) {
  if (!view_) return false;
  // The lines live in the windows' models now; the table reads them from a fresh read.
  TStoredLogReader reader(path_);
  if (reader.Refresh() != TStoredLogReader::TResult::Read) return false;
  QFile out(path);
  return out.open(QIODevice::WriteOnly) && WriteTidyCsv(reader.Log(), shown_from_, shown_to_, out);
}

TPeriodReport TLogViewer::Report() const {
  const QSettingsStore store;
  return BuildViewReport(*view_, shown_from_, shown_to_, path_, name_, store,
                         QCoreApplication::applicationVersion(), locale());
}

bool TLogViewer::ExportReport(const QString& path) {
  if (!view_) return false;
  QString error;
  const bool ok = WriteReportPdf(Report(), *view_, path, DefaultPageSize(locale()), error);
  // Writing the report draws the charts apart; the viewer shows its own period again.
  view_->ShowPeriod(shown_from_, shown_to_);
  return ok;
}

bool TLogViewer::PrintReport(QPrinter& printer) {
  if (!view_) return false;
  printer.setDocName(QStringLiteral("Period report ") + name_.Name + u' ' + name_.Serial);
  ui::PrintReport(Report(), *view_, printer);
  view_->ShowPeriod(shown_from_, shown_to_);
  return true;
}

void TLogViewer::PrintReportWithDialog() {
  if (!view_) return;
  QPrinter printer(QPrinter::HighResolution);
  printer.setPageSize(QPageSize(DefaultPageSize(locale())));
  QPrintDialog dialog(&printer, this);
  dialog.setWindowTitle(QStringLiteral("Print Report"));
  if (dialog.exec() != QDialog::Accepted) return;
  PrintReport(printer);
}

bool TLogViewer::ExportCharts(const QString& folder) {
  if (!view_) return false;
  const QDir dir(folder);
  const struct {
    TTrendGraphWindow* Window;
    const char* Name;
  } charts[] = {{left_, "left"}, {right_, "right"}, {gas_, "gas"}};
  bool ok = true;
  for (const auto& c : charts) {
    const QString base = dir.filePath(QString::fromLatin1(c.Name));
    ok &= c.Window->Chart1().savePng(base + QStringLiteral(".png"));
    ok &= c.Window->Chart1().savePdf(base + QStringLiteral(".pdf"));
  }
  return ok;
}

TLogViewer* OpenLogViewer(QWidget* parent, const QString& path) {
  QString file = path;
  if (file.isEmpty()) {
    const QStringList recent = RecentLogs();
    file = QFileDialog::getOpenFileName(
        parent, QStringLiteral("Open Log"),
        recent.isEmpty() ? QString() : QFileInfo(recent.front()).absolutePath(),
        QStringLiteral("Logs (*.csv);;All files (*)"));
    if (file.isEmpty()) return nullptr;
  }
  auto* viewer = new TLogViewer(file, parent);
  viewer->show();
  return viewer;
}

}  // namespace dova::ui
