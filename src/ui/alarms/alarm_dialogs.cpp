#include "ui/alarms/alarm_dialogs.h"

#include <QCheckBox>
#include <QDialogButtonBox>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QLocale>
#include <QMessageBox>
#include <QPushButton>
#include <QSpinBox>
#include <QVBoxLayout>

#include "alarms/alarm_limits_edit.h"
#include "ui/dialogs/dialog_look.h"

namespace dova::ui {

namespace {

// OK and Cancel under a dialog: OK is the default button (Enter); a button that has the
// focus takes Enter for itself, so Tab to Cancel and Enter cancels.
void AddButtons(QDialog& dialog, QVBoxLayout& layout, QPushButton*& ok, QPushButton*& cancel) {
  auto* row = new QHBoxLayout;
  row->addStretch();
  ok = new QPushButton(QStringLiteral("OK"), &dialog);
  cancel = new QPushButton(QStringLiteral("Cancel"), &dialog);
  ok->setDefault(true);
  ok->setAutoDefault(true);
  cancel->setAutoDefault(true);
  row->addWidget(ok);
  row->addWidget(cancel);
  layout.addLayout(row);
  QObject::connect(cancel, &QPushButton::clicked, &dialog, &QDialog::reject);
}

void SetUpDialog(QDialog& dialog, const char* caption) {
  dialog.setWindowTitle(QString::fromLatin1(caption));
  dialog.setWindowFlags(Qt::Dialog | Qt::WindowTitleHint | Qt::WindowCloseButtonHint |
                        Qt::MSWindowsFixedSizeDialogHint);
  dialog.setFont(DialogFont(kFont8pt));
  dialog.setModal(true);
}

QString Text(double value) {
  return QLocale().toString(value, 'g', 10);
}

}  // namespace

TRefusal MessageBoxRefusal() {
  return [](QWidget* parent, const QString& text) {
    QMessageBox::warning(parent, parent ? parent->windowTitle() : QString(), text);
  };
}

// ---------------------------------------------------------------- acknowledge

TAcknowledgeDialog::TAcknowledgeDialog(QWidget* parent, TRefusal refusal)
    : QDialog(parent), refusal_(std::move(refusal)) {
  SetUpDialog(*this, kCaption);
  auto* layout = new QVBoxLayout(this);
  What = new QLabel(this);
  What->setWordWrap(true);
  layout->addWidget(What);
  auto* grid = new QGridLayout;
  User = new QLineEdit(this);
  Comment = new QLineEdit(this);
  auto* user_label = new QLabel(QStringLiteral("&Name:"), this);
  auto* comment_label = new QLabel(QStringLiteral("&Comment (optional):"), this);
  user_label->setBuddy(User);
  comment_label->setBuddy(Comment);
  grid->addWidget(user_label, 0, 0);
  grid->addWidget(User, 0, 1);
  grid->addWidget(comment_label, 1, 0);
  grid->addWidget(Comment, 1, 1);
  layout->addLayout(grid);
  AddButtons(*this, *layout, OKBtn, CancelBtn);
  connect(OKBtn, &QPushButton::clicked, this, [this] {
    if (User->text().trimmed().isEmpty()) {
      refusal_(this, QStringLiteral("Please enter the name of who acknowledges."));
      User->setFocus();
      return;
    }
    accept();
  });
  setMinimumWidth(380);
}

std::optional<TAcknowledgeDialog::TAnswer> TAcknowledgeDialog::Ask(int count, const QString& what,
                                                                   const QString& login) {
  What->setText(count == 1 ? QStringLiteral("Acknowledge this alarm?\n") + what
                           : QStringLiteral("Acknowledge %1 alarms?\n").arg(count) + what);
  User->setText(login);
  Comment->clear();
  OKBtn->setFocus();
  if (exec() != QDialog::Accepted) return std::nullopt;
  return TAnswer{User->text().trimmed(), Comment->text().trimmed()};
}

// ---------------------------------------------------------------- shelve

TShelveDialog::TShelveDialog(QWidget* parent, TRefusal refusal)
    : QDialog(parent), refusal_(std::move(refusal)) {
  SetUpDialog(*this, kCaption);
  auto* layout = new QVBoxLayout(this);
  What = new QLabel(this);
  What->setWordWrap(true);
  layout->addWidget(What);
  auto* grid = new QGridLayout;
  Hours = new QSpinBox(this);
  Hours->setRange(0, kMaxMinutes / 60);
  Hours->setSuffix(QStringLiteral(" h"));
  Minutes = new QSpinBox(this);
  Minutes->setRange(0, 59);
  Minutes->setSuffix(QStringLiteral(" min"));
  Reason = new QLineEdit(this);
  auto* duration_label = new QLabel(QStringLiteral("&Duration (at most 8 hours):"), this);
  auto* reason_label = new QLabel(QStringLiteral("&Reason:"), this);
  duration_label->setBuddy(Hours);
  reason_label->setBuddy(Reason);
  auto* duration = new QHBoxLayout;
  duration->addWidget(Hours);
  duration->addWidget(Minutes);
  grid->addWidget(duration_label, 0, 0);
  grid->addLayout(duration, 0, 1);
  grid->addWidget(reason_label, 1, 0);
  grid->addWidget(Reason, 1, 1);
  layout->addLayout(grid);
  AddButtons(*this, *layout, OKBtn, CancelBtn);
  connect(OKBtn, &QPushButton::clicked, this, [this] {
    const int minutes = Hours->value() * 60 + Minutes->value();
    if (minutes <= 0) {
      refusal_(this, QStringLiteral("Please enter how long the incubator is shelved."));
      Hours->setFocus();
    } else if (minutes > kMaxMinutes) {
      refusal_(this, QStringLiteral("An incubator can be shelved for at most 8 hours."));
      Hours->setFocus();
    } else if (Reason->text().trimmed().isEmpty()) {
      refusal_(this, QStringLiteral("Please enter the reason for shelving."));
      Reason->setFocus();
    } else {
      accept();
    }
  });
  setMinimumWidth(380);
}

std::optional<TShelveDialog::TAnswer> TShelveDialog::Ask(const QString& incubator) {
  What->setText(QStringLiteral("Shelve %1 for maintenance: its alarms are still journaled but "
                               "not announced until the shelf ends.")
                    .arg(incubator));
  Hours->setValue(1);
  Minutes->setValue(0);
  Reason->clear();
  Reason->setFocus();
  if (exec() != QDialog::Accepted) return std::nullopt;
  return TAnswer{(Hours->value() * 60 + Minutes->value()) * 60'000LL, Reason->text().trimmed()};
}

// ---------------------------------------------------------------- limits

TAlarmLimitsDialog::TAlarmLimitsDialog(QWidget* parent, TRefusal refusal)
    : QDialog(parent), refusal_(std::move(refusal)) {
  SetUpDialog(*this, kCaption);
}

bool TAlarmLimitsDialog::Collect(TAlarmLimitsEdit& edit) {
  auto& values = edit.Values();
  for (std::size_t i = 0; i < values.size(); ++i) {
    TValueRow& row = ValueRows[i];
    if (row.UseDefault->isChecked()) {
      values[i].Own.reset();
      continue;
    }
    bool ok = false;
    const double v = QLocale().toDouble(row.Value->text().trimmed(), &ok);
    if (!ok) {
      refusal_(
          this,
          QStringLiteral("%1: \"%2\" is not a number.").arg(values[i].Label, row.Value->text()));
      row.Value->setFocus();
      return false;
    }
    values[i].Own = v;
  }
  auto& switches = edit.Switches();
  for (std::size_t i = 0; i < switches.size(); ++i) {
    if (SwitchRows[i].UseDefault->isChecked()) {
      switches[i].Own.reset();
    } else {
      switches[i].Own = SwitchRows[i].On->isChecked();
    }
  }
  return true;
}

bool TAlarmLimitsDialog::Edit(TAlarmLimitsEdit& edit, const QString& incubator) {
  // Made afresh for each incubator: the rows follow what the edit holds.
  delete layout();
  qDeleteAll(findChildren<QWidget*>(QString(), Qt::FindDirectChildrenOnly));
  ValueRows.clear();
  SwitchRows.clear();
  auto* layout = new QVBoxLayout(this);
  What = new QLabel(QStringLiteral("Alarm limits of %1").arg(incubator), this);
  layout->addWidget(What);

  auto* values_box = new QGroupBox(QStringLiteral("Limits and delays"), this);
  auto* grid = new QGridLayout(values_box);
  int row = 0;
  for (const auto& v : edit.Values()) {
    auto* label =
        new QLabel(v.Label + QStringLiteral(" (") + v.Unit + QStringLiteral("):"), values_box);
    auto* value = new QLineEdit(Text(v.Effective()), values_box);
    label->setBuddy(value);
    auto* use_default =
        new QCheckBox(QStringLiteral("Use default (%1)").arg(Text(v.Default)), values_box);
    use_default->setChecked(!v.Own);
    value->setEnabled(v.Own.has_value());
    const double def = v.Default;
    connect(use_default, &QCheckBox::toggled, value, [value, def](bool on) {
      value->setEnabled(!on);
      if (on) value->setText(Text(def));
    });
    grid->addWidget(label, row, 0);
    grid->addWidget(value, row, 1);
    grid->addWidget(use_default, row, 2);
    ValueRows.push_back({value, use_default});
    ++row;
  }
  layout->addWidget(values_box);

  auto* switches_box = new QGroupBox(QStringLiteral("Alarms raised"), this);
  auto* sgrid = new QGridLayout(switches_box);
  row = 0;
  for (const auto& s : edit.Switches()) {
    auto* on = new QCheckBox(s.Label, switches_box);
    on->setChecked(s.Effective());
    on->setEnabled(s.Own.has_value());
    auto* use_default =
        new QCheckBox(QStringLiteral("Use default (%1)")
                          .arg(s.Default ? QStringLiteral("on") : QStringLiteral("off")),
                      switches_box);
    use_default->setChecked(!s.Own);
    const bool def = s.Default;
    connect(use_default, &QCheckBox::toggled, on, [on, def](bool use) {
      on->setEnabled(!use);
      if (use) on->setChecked(def);
    });
    sgrid->addWidget(on, row, 0);
    sgrid->addWidget(use_default, row, 1);
    SwitchRows.push_back({on, use_default});
    ++row;
  }
  layout->addWidget(switches_box);
  AddButtons(*this, *layout, OKBtn, CancelBtn);
  connect(OKBtn, &QPushButton::clicked, this, [this, &edit] {
    if (!Collect(edit)) return;
    const QStringList problems = edit.Problems();
    if (!problems.isEmpty()) {
      refusal_(this, problems.join(u'\n'));
      return;
    }
    QString error;
    if (!edit.Store(&error)) {
      refusal_(this, error);
      return;
    }
    accept();
  });
  OKBtn->setFocus();
  return exec() == QDialog::Accepted;
}

}  // namespace dova::ui
