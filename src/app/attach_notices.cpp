#include "app/attach_notices.h"

#include "app/main_form.h"

namespace dova {

TAttachNotices::TAttachNotices(TMainForm& form, std::function<void(const QString&)> status,
                               std::function<void(const QString&)> problem, QObject* parent)
    : QObject(parent),
      form_(form),
      status_(std::move(status)),
      check_timer_(form.USBXpressEnumerator.ScanTimer().GetScheduler(), kCheckMs, false) {
  form_.USBXpressEnumerator.OnAccessDenied = [problem = std::move(problem)](TUSBXpressEnumerator&,
                                                                            const QString& serial) {
    if (problem) problem(AccessDeniedLine(serial, {}));
  };
  check_timer_.SetOnTimer([this] { Check(); });
  check_timer_.SetEnabled(true);
}

TAttachNotices::~TAttachNotices() {
  form_.USBXpressEnumerator.OnAccessDenied = nullptr;
}

QString TAttachNotices::StatusText(std::size_t tiles) {
  return tiles == 0 ? QString::fromLatin1(kWaitingText) : QString();
}

void TAttachNotices::Check() {
  const QString text = StatusText(form_.Panels().size());
  if (text == status_text_) return;
  status_text_ = text;
  if (status_) status_(text);
}

}  // namespace dova
