// Runs the built plim program as a process: arguments, standard input and working directory
// in; standard output, standard error and exit status out.
#pragma once

#include <sys/types.h>

#include <cstddef>
#include <optional>
#include <string>
#include <vector>

namespace plim::test {

struct Transcript {
    std::string out;
    std::string err;
    int status = -1;
};

// The plim executable of this build.
std::string plimBinary();
// The bundled examples folder.
std::string examplesDir();

// Runs plim with the arguments and the input text, in the folder `cwd` (the examples folder
// when empty).  The banner's build date is replaced by "DATE" after it is checked to have the
// date command's form.
Transcript runPlim(const std::vector<std::string>& args, const std::string& input, const std::string& cwd = "");

// Where the standard output of a run goes.
enum class OutputTo {
    File,        // a file, read back into Transcript::out
    Full,        // /dev/full: every write fails with "no space left on device"
    Closed,      // nowhere: the descriptor is closed
    ClosedPipe,  // a pipe whose reading end is closed before plim starts
};

struct RunOptions {
    std::string cwd;                        // the examples folder when empty
    std::size_t addressSpaceKiB = 0;        // an address-space cap (ulimit -v) when not 0
    std::size_t fileSizeBytes = 0;          // a cap on the size of files written (ulimit -f) when not 0
    OutputTo output = OutputTo::File;
    std::optional<uid_t> user;              // run as this user (and its own group) when set
};

// runPlim with the options: a cap on the address space, and other places for the output.
Transcript runPlimWith(const std::vector<std::string>& args, const std::string& input, const RunOptions& options);

// runPlimWith in two halves, for a test that acts on the process while it runs.
struct StartedPlim {
    pid_t pid = -1;
    OutputTo output = OutputTo::File;
    std::string outFile, errFile;
};
StartedPlim startPlim(const std::vector<std::string>& args, const std::string& input, const RunOptions& options);
// Waits for the process to end and reads its transcript.
Transcript finishPlim(const StartedPlim& started);

// Runs plim with the input and reads its standard output as it comes, until `marker` has
// appeared `count` times (or 20 seconds have passed); then stops the process.  Returns what
// was read.
std::string runPlimUntil(const std::vector<std::string>& args, const std::string& input, const std::string& cwd,
                         const std::string& marker, int count);

// The banner line as the transcripts show it.
inline const std::string kBanner = "PLIM version 2.11 (built on DATE)\n";

// A fresh empty folder under the build's temporary folder, named after the test.
std::string scratchDir(const std::string& name);
void writeFile(const std::string& path, const std::string& text);
std::string readFile(const std::string& path);

}  // namespace plim::test
