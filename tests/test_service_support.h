// Helpers shared by the quote service's tests: times, fixture files and
// scratch folders. Test code only.
#ifndef QUOTARION_TESTS_TEST_SERVICE_SUPPORT_H
#define QUOTARION_TESTS_TEST_SERVICE_SUPPORT_H

#include <stdint.h>
#include <stdio.h>

#include <chrono>
#include <filesystem>
#include <string>

#include "service/svc_time.h"

namespace svctest {

// Seconds since 1970 for a UTC date and time.
inline int64_t Utc(int y, int mo, int d, int h, int mi, int s)
{
    return (int64_t)SvcDaysFromCivil(y, mo, d) * 86400 + h * 3600 + mi * 60 + s;
}

// A file under tests/service/ of the source tree (found from this header's path,
// which also works under Wine, whose Z: drive is the host's root).
inline std::string FixturePath(const std::string &relative)
{
    std::string here = __FILE__;
    size_t slash = here.find_last_of("/\\");
    return here.substr(0, slash + 1) + "service/" + relative;
}

inline std::string ReadFile(const std::string &path)
{
    std::string text;
    FILE *f = fopen(path.c_str(), "rb");
    if (!f)
        return text;
    char buf[4096];
    size_t n;
    while ((n = fread(buf, 1, sizeof buf, f)) > 0)
        text.append(buf, n);
    fclose(f);
    return text;
}

inline bool WriteFile(const std::string &path, const std::string &text)
{
    FILE *f = fopen(path.c_str(), "wb");
    if (!f)
        return false;
    bool ok = fwrite(text.data(), 1, text.size(), f) == text.size();
    return fclose(f) == 0 && ok;
}

// A new empty folder of the system's temporary folder; "" when none can be made.
inline std::string TempDir(const std::string &name)
{
    std::error_code ec;
    auto stamp = std::chrono::steady_clock::now().time_since_epoch().count();
    std::filesystem::path dir =
        std::filesystem::temp_directory_path(ec) / (name + "_" + std::to_string(stamp));
    if (ec || !std::filesystem::create_directories(dir, ec))
        return "";
    return dir.string();
}

inline void RemoveTree(const std::string &dir)
{
    std::error_code ec;
    std::filesystem::remove_all(dir, ec);
}

}  // namespace svctest

#endif
