// One QApplication for a whole test program, deleted when the tests end so
// that Qt's own globals still exist while it goes.
#pragma once

namespace testing_support {

void ensureQtApp();

}  // namespace testing_support
