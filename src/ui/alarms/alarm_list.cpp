#include "ui/alarms/alarm_list.h"

#include <QBrush>
#include <QCheckBox>
#include <QColor>
#include <QComboBox>
#include <QDateTimeEdit>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QKeyEvent>
#include <QLabel>
#include <QPushButton>
#include <QSortFilterProxyModel>
#include <QTabWidget>
#include <QTableView>
#include <QVBoxLayout>
#include <set>

#include "ui/alarms/alarm_dialogs.h"

namespace dova::ui {

namespace {

// Sorts by the model's sort role and colours each row by its alarm's state.
class TColouredRows : public QSortFilterProxyModel {
 public:
  using QSortFilterProxyModel::QSortFilterProxyModel;
  QVariant data(const QModelIndex& index, int role) const override {
    if (role == Qt::BackgroundRole) {
      switch (static_cast<TAlarmState>(
          QSortFilterProxyModel::data(index, TAlarmTableModel::kStateRole).toInt())) {
        case TAlarmState::ActiveUnacknowledged:
          return QBrush(QColor(255, 200, 200));
        case TAlarmState::ActiveAcknowledged:
          return QBrush(QColor(255, 232, 176));
        case TAlarmState::ClearedUnacknowledged:
          return QBrush(QColor(221, 230, 245));
        case TAlarmState::Normal:
          return {};
      }
    }
    if (role == Qt::ForegroundRole &&
        QSortFilterProxyModel::data(index, TAlarmTableModel::kShelvedRole).toBool()) {
      return QBrush(Qt::darkGray);
    }
    return QSortFilterProxyModel::data(index, role);
  }
};

QTableView* MakeTable(QWidget* parent) {
  auto* table = new QTableView(parent);
  table->setSelectionBehavior(QAbstractItemView::SelectRows);
  table->setEditTriggers(QAbstractItemView::NoEditTriggers);
  table->verticalHeader()->hide();
  table->horizontalHeader()->setStretchLastSection(true);
  // Every column as wide as its widest text; the last (the comment) takes the rest.
  table->horizontalHeader()->setSectionResizeMode(QHeaderView::ResizeToContents);
  table->setWordWrap(false);
  return table;
}

}  // namespace

TAlarmList::TAlarmList(TAlarmBoard& board, TAlarmEngine& engine, TAcknowledgeDialog& acknowledge,
                       std::function<QString()> login, std::function<QString()> journal_path,
                       QWidget* parent)
    : QWidget(parent),
      engine_(engine),
      acknowledge_(acknowledge),
      login_(std::move(login)),
      journal_path_(std::move(journal_path)),
      current_(std::make_unique<TAlarmTableModel>(board)),
      history_(std::make_unique<TJournalTableModel>()) {
  setWindowTitle(QString::fromLatin1(kCaption));
  auto* layout = new QVBoxLayout(this);
  layout->setContentsMargins(2, 2, 2, 2);
  Tabs = new QTabWidget(this);
  layout->addWidget(Tabs);

  // Current alarms: unacknowledged first as the board orders them, until a header is clicked.
  Current = MakeTable(Tabs);
  current_sorted_ = new TColouredRows(this);
  current_sorted_->setSourceModel(current_.get());
  current_sorted_->setSortRole(Qt::UserRole);
  Current->setModel(current_sorted_);
  Current->setSortingEnabled(true);
  Current->horizontalHeader()->setSortIndicator(-1, Qt::AscendingOrder);
  Current->installEventFilter(this);
  connect(Current, &QTableView::doubleClicked, this, [this] { AcknowledgeSelected(); });
  Tabs->addTab(Current, QStringLiteral("&Current"));

  // History: the journal, filtered.
  auto* page = new QWidget(Tabs);
  auto* page_layout = new QVBoxLayout(page);
  auto* filter = new QHBoxLayout;
  Incubator = new QComboBox(page);
  FromOn = new QCheckBox(QStringLiteral("&From"), page);
  From = new QDateTimeEdit(page);
  From->setCalendarPopup(true);
  ToOn = new QCheckBox(QStringLiteral("&To"), page);
  To = new QDateTimeEdit(page);
  To->setCalendarPopup(true);
  auto* refresh = new QPushButton(QStringLiteral("&Refresh"), page);
  refresh->setAutoDefault(true);
  auto* incubator_label = new QLabel(QStringLiteral("&Incubator:"), page);
  incubator_label->setBuddy(Incubator);
  filter->addWidget(incubator_label);
  filter->addWidget(Incubator, 1);
  filter->addWidget(FromOn);
  filter->addWidget(From);
  filter->addWidget(ToOn);
  filter->addWidget(To);
  filter->addWidget(refresh);
  page_layout->addLayout(filter);
  History = MakeTable(page);
  History->setModel(history_.get());
  page_layout->addWidget(History);
  HistoryNote = new QLabel(page);
  page_layout->addWidget(HistoryNote);
  Tabs->addTab(page, QStringLiteral("&History"));

  const QDateTime now = QDateTime::currentDateTime();
  From->setDateTime(now.addDays(-7));
  To->setDateTime(now);
  From->setEnabled(false);
  To->setEnabled(false);
  connect(FromOn, &QCheckBox::toggled, From, &QWidget::setEnabled);
  connect(ToOn, &QCheckBox::toggled, To, &QWidget::setEnabled);
  for (QCheckBox* box : {FromOn, ToOn})
    connect(box, &QCheckBox::toggled, this, [this] { ApplyFilter(); });
  for (QDateTimeEdit* edit : {From, To})
    connect(edit, &QDateTimeEdit::dateTimeChanged, this, [this] { ApplyFilter(); });
  connect(Incubator, &QComboBox::currentIndexChanged, this, [this] { ApplyFilter(); });
  connect(refresh, &QPushButton::clicked, this, [this] { RefreshHistory(); });
  connect(Tabs, &QTabWidget::currentChanged, this, [this, page](int index) {
    if (Tabs->widget(index) == page) RefreshHistory();
  });
}

TAlarmList::~TAlarmList() = default;

bool TAlarmList::eventFilter(QObject* watched, QEvent* event) {
  if (watched == Current && event->type() == QEvent::KeyPress) {
    const int key = static_cast<QKeyEvent*>(event)->key();
    if (key == Qt::Key_Return || key == Qt::Key_Enter) {
      AcknowledgeSelected();
      return true;
    }
  }
  return QWidget::eventFilter(watched, event);
}

int TAlarmList::AcknowledgeSelected() {
  std::vector<TAlarmInfo> chosen;
  std::set<int> rows;
  for (const QModelIndex& index : Current->selectionModel()->selectedRows())
    rows.insert(current_sorted_->mapToSource(index).row());
  if (rows.empty() && Current->currentIndex().isValid())
    rows.insert(current_sorted_->mapToSource(Current->currentIndex()).row());
  QStringList titles;
  for (int row : rows) {
    const TAlarmInfo& a = current_->Row(row);
    if (a.State != TAlarmState::ActiveUnacknowledged &&
        a.State != TAlarmState::ClearedUnacknowledged) {
      continue;
    }
    chosen.push_back(a);
    titles << (a.Name.isEmpty() ? a.Serial : a.Name) + QStringLiteral(": ") + AlarmTitle(a.Key);
  }
  if (chosen.empty()) return 0;
  const auto answer =
      acknowledge_.Ask(static_cast<int>(chosen.size()), titles.join(u'\n'), login_());
  if (!answer) return 0;
  int done = 0;
  for (const TAlarmInfo& a : chosen)
    done += engine_.Acknowledge(a.Serial, a.Key, answer->User, answer->Comment);
  return done;
}

void TAlarmList::RefreshHistory() {
  const QString path = journal_path_ ? journal_path_() : QString();
  if (path.isEmpty() || !history_->Load(path)) {
    HistoryNote->setText(QStringLiteral("The alarm journal cannot be read."));
  } else {
    HistoryNote->clear();
  }
  // The incubators to choose from, keeping the one chosen.
  const QString chosen = Incubator->currentData().toString();
  const QSignalBlocker quiet(Incubator);
  Incubator->clear();
  Incubator->addItem(QStringLiteral("All incubators"), QString());
  for (const auto& [serial, name] : history_->Incubators())
    Incubator->addItem(name.isEmpty() ? serial : name + QStringLiteral(" (") + serial + u')',
                       serial);
  const int index = Incubator->findData(chosen);
  Incubator->setCurrentIndex(index < 0 ? 0 : index);
  ApplyFilter();
}

void TAlarmList::ApplyFilter() {
  history_->SetFilter(
      Incubator->currentData().toString(),
      FromOn->isChecked() ? std::optional<QDateTime>(From->dateTime()) : std::nullopt,
      ToOn->isChecked() ? std::optional<QDateTime>(To->dateTime()) : std::nullopt);
}

}  // namespace dova::ui
