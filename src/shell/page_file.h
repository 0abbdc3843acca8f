// Replacing a file whole: the new contents are written beside it and renamed over it when
// they are complete, so the file holds either its old contents or all of the new ones.
#pragma once

#include <string>
#include <string_view>

namespace plim {

// Writes `contents` to the file named `fileName` as opening it for writing and writing would,
// but whole: a file that cannot be opened for writing is left alone and the open's failure
// raised as the input/output error of the system (a missing file is created).  A regular file
// of the user's own with no other name, in a folder the user may write in, is replaced by a new
// file written beside it (with its group and mode) and renamed over it when complete; through a
// symbolic link, the file the link names is replaced.  A failure to write or rename raises the
// error after the partial file is removed (a file-size limit met is such a failure); an
// interrupt, hang-up, quit or termination signal that arrives meanwhile removes it before the
// process ends as the signal would end it, and partial files that writers no longer running left
// beside the file are removed.  Any other file (another user's, one with several names, a
// device, a pipe) is written in place.
void replaceFileWith(const std::string& fileName, std::string_view contents);

}  // namespace plim
