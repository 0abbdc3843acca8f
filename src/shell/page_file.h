// Replacing a file whole: the new contents are written beside it and renamed over it when
// they are complete, so the file holds either its old contents or all of the new ones.
#pragma once

#include <string>
#include <string_view>

namespace plim {

// Writes `contents` to a new file in the folder of `fileName` (following a symbolic link to
// the file it names) and renames it over the file.  A failure to create, write or rename
// raises the input/output error of the system with `fileName`, after the partial file is
// removed (a file-size limit met is such a failure); an interrupt, hang-up or termination
// signal that arrives meanwhile removes it before the process ends as the signal would end it.  A file that exists and is
// not a regular file (a device, a pipe) cannot be replaced: it is written in place.
void replaceFileWith(const std::string& fileName, std::string_view contents);

}  // namespace plim
