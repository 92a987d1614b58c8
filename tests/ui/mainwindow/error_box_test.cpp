#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <QAbstractButton>
#include <QMessageBox>
#include <QTimer>

#include "app/error_box.h"
#include "platform/exception.h"
#include "platform/timer.h"
#include "ui/dialogs/standard_boxes.h"
#include "ui/mainwindow/window_fixture.h"

namespace dova::testing {
namespace {

struct SeenBox {
  QString title, text;
  QMessageBox::Icon icon;
  QMessageBox::StandardButtons buttons;
};

// Presses OK on every message box that opens, noting what it showed.
class BoxCloser {
 public:
  BoxCloser() {
    timer_.setInterval(5);
    QObject::connect(&timer_, &QTimer::timeout, [this] {
      auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
      if (!box) return;
      seen.push_back({box->windowTitle(), box->text(), box->icon(), box->standardButtons()});
      box->button(QMessageBox::Ok)->click();
    });
    timer_.start();
  }
  std::vector<SeenBox> seen;

 private:
  QTimer timer_;
};

TEST_F(WindowFixture, AnExceptionFromATimerHandlerShowsTheErrorBoxAndTheProgramGoesOn) {
  ui::TErrorBox error_box;
  sched.SetErrorReporter(&error_box);
  Open();
  Plug("Alpha");
  BoxCloser closer;
  int fired = 0;
  Timer failing(sched, 400, true);
  failing.SetOnTimer([&] {
    ++fired;
    throw Exception("Error Writing");
  });
  sched.AdvanceBy(1000);
  EXPECT_EQ(fired, 2);
  ASSERT_EQ(closer.seen.size(), 2u);
  for (const SeenBox& box : closer.seen) {
    EXPECT_EQ(box.title, ProgramTitle());
    EXPECT_EQ(box.text, "Error Writing.");
    EXPECT_EQ(box.icon, QMessageBox::Critical);
    EXPECT_EQ(box.buttons, QMessageBox::Ok);
  }
  // The program goes on: the failing timer keeps its cadence, another incubator is found
  // and shown, and its windows take the MDI area.
  failing.SetEnabled(false);
  Plug("Beta");
  EXPECT_EQ(form->SelectedPanel, Listed("Beta"));
  EXPECT_EQ(OpenFrames().size(), 3);
  EXPECT_TRUE(Tile("Beta")->isVisible());
}

}  // namespace
}  // namespace dova::testing
