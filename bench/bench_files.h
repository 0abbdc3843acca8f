// Input files and a quiet standard output for the benchmarks that run the interpreter's
// commands whole.
#pragma once

#include <fcntl.h>
#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>

namespace plim {

// A file written once for the benchmark in the temporary folder; name() is its full name.
class InputFile {
public:
    InputFile(const std::string& stem, const std::string& extension, const std::string& text)
        : name_((std::filesystem::temp_directory_path() / (stem + extension)).string()) {
        std::ofstream(name_) << text;
    }
    InputFile(const InputFile&) = delete;
    InputFile& operator=(const InputFile&) = delete;
    ~InputFile() { std::filesystem::remove(name_); }
    const std::string& name() const { return name_; }

private:
    std::string name_;
};

// The standard output sent to /dev/null while this lives.
class QuietOutput {
public:
    QuietOutput() : saved_(dup(1)) {
        std::fflush(stdout);
        const int null = open("/dev/null", O_WRONLY);
        dup2(null, 1);
        close(null);
    }
    QuietOutput(const QuietOutput&) = delete;
    QuietOutput& operator=(const QuietOutput&) = delete;
    ~QuietOutput() {
        std::fflush(stdout);
        dup2(saved_, 1);
        close(saved_);
    }

private:
    int saved_;
};

}  // namespace plim
