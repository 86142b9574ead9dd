// The Windows programs are linked statically: they import nothing but DLLs
// that every Windows system has.
#include <cstdio>
#include <set>
#include <string>

#include "windows/windows_support.h"

using namespace corvix_test;

namespace {

// The DLLs named in the import table, in lower case ("kernel32.dll").
std::set<std::string> importedDlls(const std::string &exe, bool *ok) {
    std::set<std::string> dlls;
    std::string command = "x86_64-w64-mingw32-objdump -p '" + exe + "' 2>&1";
    FILE *pipe = popen(command.c_str(), "r");
    *ok = pipe != nullptr;
    if (!pipe) return dlls;
    char line[1024];
    bool headers = false;
    while (std::fgets(line, sizeof line, pipe)) {
        std::string text(line);
        if (text.find("file format pei-x86-64") != std::string::npos) headers = true;
        size_t at = text.find("DLL Name: ");
        if (at == std::string::npos) continue;
        std::string name = text.substr(at + 10);
        while (!name.empty() && (name.back() == '\n' || name.back() == '\r' || name.back() == ' ')) name.pop_back();
        for (char &c : name) c = (char)std::tolower((unsigned char)c);
        dlls.insert(name);
    }
    *ok = pclose(pipe) == 0 && headers;
    return dlls;
}

class WindowsBuild : public WindowsTest {};

TEST_P(WindowsBuild, ImportsOnlySystemDlls) {
    const std::set<std::string> system = {"kernel32.dll", "advapi32.dll", "msvcrt.dll"};
    bool ok = false;
    std::set<std::string> dlls = importedDlls(exe(), &ok);
    ASSERT_TRUE(ok) << "x86_64-w64-mingw32-objdump -p " << exe() << " failed";
    EXPECT_TRUE(dlls.count("kernel32.dll"));
    for (const std::string &dll : dlls) EXPECT_TRUE(system.count(dll)) << exe() << " imports " << dll;
}

CORVIX_FOR_EACH_BUILD(WindowsBuild);

}  // namespace
