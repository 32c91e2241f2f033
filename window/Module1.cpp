#include "window/Module1.h"

namespace Module1 {

QVariant iconhandle;

}  // namespace Module1
