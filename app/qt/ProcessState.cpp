#include "app/qt/ProcessState.h"

#include <unistd.h>

#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>

uint64_t ProcessStart(uint32_t pid) {
    std::ifstream stat("/proc/" + std::to_string(pid) + "/stat");
    std::string text;
    if (!std::getline(stat, text)) return 0;
    // The name in parentheses may hold spaces and parentheses of its own.
    const size_t close = text.rfind(')');
    if (close == std::string::npos) return 0;
    std::istringstream fields(text.substr(close + 2));
    std::string field;
    // After the name: state is field 3, the start is field 22.
    for (int number = 3; number <= 22; ++number) {
        if (!(fields >> field)) return 0;
    }
    return std::strtoull(field.c_str(), nullptr, 10);
}

bool ProcessReadable(uint32_t pid) {
    const std::string base = "/proc/" + std::to_string(pid);
    return access((base + "/fd").c_str(), R_OK | X_OK) == 0 && access((base + "/maps").c_str(), R_OK) == 0;
}
