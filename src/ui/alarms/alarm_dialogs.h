#pragma once

#include <QDialog>
#include <QString>
#include <functional>
#include <optional>
#include <vector>

class QCheckBox;
class QDoubleSpinBox;
class QLabel;
class QLineEdit;
class QPlainTextEdit;
class QPushButton;
class QSpinBox;

namespace dova {
class TAlarmLimitsEdit;
}

namespace dova::ui {

// How each alarm dialog tells the user what cannot be accepted; a message box in the
// program, a list in tests.
using TRefusal = std::function<void(QWidget* parent, const QString& text)>;
TRefusal MessageBoxRefusal();

// "Acknowledge Alarms": who acknowledges (the login name to begin with) and an optional
// comment. OK is the default button, so Enter acknowledges at once; Cancel (or Esc) leaves
// the alarms as they are.
class TAcknowledgeDialog : public QDialog {
 public:
  struct TAnswer {
    QString User;
    QString Comment;
  };
  static constexpr const char* kCaption = "Acknowledge Alarms";

  explicit TAcknowledgeDialog(QWidget* parent = nullptr, TRefusal refusal = MessageBoxRefusal());
  // Asks for `count` alarms (described by `what`), modally; nothing on Cancel.
  std::optional<TAnswer> Ask(int count, const QString& what, const QString& login);

  QLabel* What = nullptr;
  QLineEdit* User = nullptr;
  QLineEdit* Comment = nullptr;
  QPushButton* OKBtn = nullptr;
  QPushButton* CancelBtn = nullptr;

 private:
  TRefusal refusal_;
};

// "Shelve Incubator": how long (at most eight hours) and why; both are required.
class TShelveDialog : public QDialog {
 public:
  struct TAnswer {
    std::int64_t DurationMs = 0;
    QString Reason;
  };
  static constexpr const char* kCaption = "Shelve Incubator";
  static constexpr int kMaxMinutes = 8 * 60;

  explicit TShelveDialog(QWidget* parent = nullptr, TRefusal refusal = MessageBoxRefusal());
  std::optional<TAnswer> Ask(const QString& incubator);

  QLabel* What = nullptr;
  QSpinBox* Hours = nullptr;
  QSpinBox* Minutes = nullptr;
  QLineEdit* Reason = nullptr;
  QPushButton* OKBtn = nullptr;
  QPushButton* CancelBtn = nullptr;

 private:
  TRefusal refusal_;
};

// "Alarm Limits": every limit, delay and switch of one incubator's alarms, each with its
// default shown and a "use default" choice. OK checks the values and stores them; what is
// wrong is said and the dialog stays open.
class TAlarmLimitsDialog : public QDialog {
 public:
  static constexpr const char* kCaption = "Alarm Limits";

  explicit TAlarmLimitsDialog(QWidget* parent = nullptr, TRefusal refusal = MessageBoxRefusal());
  // Edits `edit` modally; true when the values were stored.
  bool Edit(TAlarmLimitsEdit& edit, const QString& incubator);

  struct TValueRow {
    QLineEdit* Value = nullptr;
    QCheckBox* UseDefault = nullptr;
  };
  struct TSwitchRow {
    QCheckBox* On = nullptr;
    QCheckBox* UseDefault = nullptr;
  };
  std::vector<TValueRow> ValueRows;
  std::vector<TSwitchRow> SwitchRows;
  QLabel* What = nullptr;
  QPushButton* OKBtn = nullptr;
  QPushButton* CancelBtn = nullptr;

 private:
  // Copies the fields into `edit`; false (after saying so) for a text that is no number.
  bool Collect(TAlarmLimitsEdit& edit);
  TRefusal refusal_;
};

}  // namespace dova::ui
