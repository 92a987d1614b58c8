// Shared main of the test programs: a Qt application object exists for the whole run, so
// code that needs Qt's event loop, settings or locale works in every test.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <QCoreApplication>

int main(int argc, char** argv) {
  ::testing::InitGoogleMock(&argc, argv);
  QCoreApplication app(argc, argv);
  return RUN_ALL_TESTS();
}
