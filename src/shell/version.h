// The version and the banner.  The build date is fixed when the program is built: the build
// passes it to the program entry (main.cpp) in the date command's form, for example
// "Mon Dec  7 11:22:27 UTC 2026".
#pragma once

#include <string>

namespace plim {

inline const std::string version = "2.11";

inline std::string bannerText(const std::string& buildDate) {
    return "PLIM version " + version + " (built on " + buildDate + ")";
}

}  // namespace plim
