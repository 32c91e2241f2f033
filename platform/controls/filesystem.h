// Making directories, addressed by Windows paths through the drive mapping.
#pragma once

#include <QString>
#include <stdexcept>

// Why a directory could not be made; what() is a sentence for the user.
class DirectoryError : public std::runtime_error {
  public:
    using std::runtime_error::runtime_error;
};

// Creates one directory; its parent must exist. Throws DirectoryError when
// the path names no drive that exists, the parent folder is missing, a file
// or folder of that name exists already (in any letter case), the parent
// cannot be written to, or the name cannot be made there.
void MkDir(const QString& windowsPath);
