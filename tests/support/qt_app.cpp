#include "qt_app.h"

#include <gtest/gtest.h>

#include <QApplication>

namespace testing_support {
namespace {

class QtApplication : public ::testing::Environment {
  public:
    void TearDown() override { delete qApp; }
};
const ::testing::Environment* const kQtApplication =
    ::testing::AddGlobalTestEnvironment(new QtApplication);

}  // namespace

void ensureQtApp() {
    static int argc = 1;
    static char name[] = "knobwise_tests";
    static char* argv[] = {name, nullptr};
    if (!qApp) new QApplication(argc, argv);
}

}  // namespace testing_support
