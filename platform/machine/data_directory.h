// Where the program's shipped data lies: the seed registry, drive C's
// template files (also the stand-ins for a Wine prefix's missing icon
// files) and the reader run inside a running Wine.
#pragma once

#include <filesystem>

namespace machine {

std::filesystem::path dataDirectory();

}  // namespace machine
