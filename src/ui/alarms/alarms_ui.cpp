#include "ui/alarms/alarms_ui.h"

#include <QAction>
#include <QDockWidget>
#include <QMainWindow>
#include <QMenu>
#include <QTableView>

#include "alarms/alarm_limits_edit.h"
#include "ui/alarms/alarm_dialogs.h"
#include "ui/alarms/alarm_list.h"

namespace dova::ui {

namespace {
constexpr int kListHeight = 170;
constexpr int kMuteMinutes = static_cast<int>(TAlarmAnnouncer::kMuteMs / 60'000);
}  // namespace

TAlarmsUi::TAlarmsUi(TServices services, QMainWindow& window)
    : services_(std::move(services)),
      window_(window),
      board_(services_.Sched, services_.Engine),
      announcer_(services_.Sched, services_.Engine, services_.Sound, services_.Notifier) {
  TRefusal refusal = services_.Refusal ? TRefusal(services_.Refusal) : MessageBoxRefusal();
  acknowledge_ = std::make_unique<TAcknowledgeDialog>(&window_, refusal);
  shelve_ = std::make_unique<TShelveDialog>(&window_, refusal);
  limits_ = std::make_unique<TAlarmLimitsDialog>(&window_, refusal);

  dock_ = new QDockWidget(QString::fromLatin1(TAlarmList::kCaption), &window_);
  dock_->setObjectName(QStringLiteral("AlarmList"));
  list_ = new TAlarmList(board_, services_.Engine, *acknowledge_, services_.Login,
                         services_.JournalPath, dock_);
  dock_->setWidget(list_);
  window_.addDockWidget(Qt::BottomDockWidgetArea, dock_);
  dock_->hide();
  // A few rows high, so the trend windows keep most of the area.
  window_.resizeDocks({dock_}, {kListHeight}, Qt::Vertical);

  menu_ = new QMenu(QStringLiteral("&Alarms"), &window_);
  // "Acknowledge &All" keeps A, so Alt+A, A, Enter acknowledges everything; the list takes
  // R, the one letter of its name no other command uses.
  ListAction = menu_->addAction(QStringLiteral("Ala&rm List"), [this] { ShowList(); });
  AcknowledgeAllAction =
      menu_->addAction(QStringLiteral("Acknowledge &All…"), [this] { AcknowledgeAll(); });
  menu_->addSeparator();
  LimitsAction = menu_->addAction(QStringLiteral("Alarm &Limits…"), [this] { EditLimits(); });
  ShelveAction =
      menu_->addAction(QStringLiteral("&Shelve Incubator…"), [this] { ShelveSelected(); });
  EndShelvingAction = menu_->addAction(QStringLiteral("&End Shelving"), [this] { EndShelving(); });
  menu_->addSeparator();
  MuteAction =
      menu_->addAction(QStringLiteral("&Mute Sound for 15 Minutes"), [this] { MuteSound(); });
  MuteAction->setCheckable(true);
  ListAction->setStatusTip(QStringLiteral("Shows the current alarms and the alarm journal"));
  AcknowledgeAllAction->setStatusTip(QStringLiteral("Acknowledges every unacknowledged alarm"));
  LimitsAction->setStatusTip(QStringLiteral("Sets the alarm limits of the selected incubator"));
  ShelveAction->setStatusTip(
      QStringLiteral("Shelves the selected incubator for maintenance (at most 8 hours)"));
  EndShelvingAction->setStatusTip(QStringLiteral("Ends the selected incubator's shelf now"));
  MuteAction->setStatusTip(QStringLiteral("Silences the alarm tone for 15 minutes"));
  // The commands' enabled state follows the selection when the menu opens.
  QObject::connect(menu_, &QMenu::aboutToShow, menu_, [this] { Update(); });

  summary_ = new QPushButton(&window_);
  summary_->setFlat(true);
  summary_->setFocusPolicy(Qt::NoFocus);
  summary_->setStatusTip(QStringLiteral("Shows the alarm list"));
  QObject::connect(summary_, &QPushButton::clicked, summary_, [this] { ShowList(); });

  board_changed_ = TScopedSubscription(board_.Changed(), [this] { Update(); });
  // A new alarm brings the list into view (without taking the keyboard from the user).
  raised_ = TScopedSubscription(services_.Engine.Stream(), [this](const TAlarmTransition& t) {
    if (t.Transition == TAlarmTransitionKind::Raised && t.Announce) dock_->show();
  });
  mute_changed_ = TScopedSubscription(announcer_.MuteChanged(), [this] { Update(); });
  Update();
}

TAlarmsUi::~TAlarmsUi() {
  // The window owns these widgets but they use the board and the dialogs: they go first.
  delete dock_;
  delete summary_;
  delete menu_;
}

void TAlarmsUi::Update() {
  const QString summary = board_.Summary();
  if (summary_->text() != summary) {
    summary_->setText(summary);
    summary_->setStyleSheet(services_.Engine.UnacknowledgedCount() > 0
                                ? QStringLiteral("color: #c00000; font-weight: bold;")
                                : QString());
  }
  const QString serial = services_.Selected ? services_.Selected().first : QString();
  const bool shelved = !serial.isEmpty() && services_.Engine.IsShelved(serial);
  AcknowledgeAllAction->setEnabled(services_.Engine.UnacknowledgedCount() > 0);
  LimitsAction->setEnabled(!serial.isEmpty());
  ShelveAction->setEnabled(!serial.isEmpty() && !shelved);
  EndShelvingAction->setEnabled(shelved);
  MuteAction->setChecked(announcer_.Muted());
}

void TAlarmsUi::ShowList() {
  dock_->show();
  dock_->raise();
  list_->Current->setFocus();
}

int TAlarmsUi::AcknowledgeAll() {
  const int count = services_.Engine.UnacknowledgedCount();
  if (count == 0) return 0;
  QStringList titles;
  for (const TAlarmInfo& a : board_.Rows()) {
    if (a.State == TAlarmState::ActiveUnacknowledged ||
        a.State == TAlarmState::ClearedUnacknowledged) {
      titles << (a.Name.isEmpty() ? a.Serial : a.Name) + QStringLiteral(": ") + AlarmTitle(a.Key);
    }
  }
  const auto answer = acknowledge_->Ask(count, titles.join(u'\n'), services_.Login());
  if (!answer) return 0;
  return services_.Engine.AcknowledgeAll(answer->User, answer->Comment);
}

bool TAlarmsUi::EditLimits() {
  const auto [serial, name] = services_.Selected();
  if (serial.isEmpty()) return false;
  TAlarmLimitsEdit edit(services_.Store, services_.Settings, serial);
  if (!limits_->Edit(edit, name.isEmpty() ? serial : name + QStringLiteral(" (") + serial + u')'))
    return false;
  // At once: the engine reads the limits again.
  services_.Engine.ReloadSettings();
  return true;
}

bool TAlarmsUi::ShelveSelected() {
  const auto [serial, name] = services_.Selected();
  if (serial.isEmpty()) return false;
  const auto answer = shelve_->Ask(name.isEmpty() ? serial : name);
  if (!answer) return false;
  QString error;
  if (!services_.Engine.Shelve(serial, answer->DurationMs, answer->Reason, services_.Login(),
                               &error)) {
    (services_.Refusal ? TRefusal(services_.Refusal) : MessageBoxRefusal())(&window_, error);
    return false;
  }
  Update();
  return true;
}

bool TAlarmsUi::EndShelving() {
  const auto [serial, name] = services_.Selected();
  if (serial.isEmpty()) return false;
  const bool ended = services_.Engine.Unshelve(serial, services_.Login());
  Update();
  return ended;
}

void TAlarmsUi::MuteSound() {
  announcer_.Mute();
  services_.Engine.SoundMuted(services_.Login(), kMuteMinutes);
  Update();
}

}  // namespace dova::ui
