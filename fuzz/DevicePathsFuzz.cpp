// Device path translation over drive targets that say anything, among
// them redirector targets in every shape, and paths of every length.
#include <memory>

#include "fuzz/FuzzInput.h"
#include "windows/sysinfo/DevicePaths.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    FuzzInput in(data, size);
    sim::Reset();
    auto& drives = sim::Set().dosDevices;
    drives.clear();
    const unsigned count = in.U8() % 4;
    for (unsigned i = 0; i < count; ++i) {
        std::string name = in.Text(2);
        drives[name] = in.Text(in.U16() % 5000);
    }
    // Alone on the heap, so that the sanitizer sees a read past its end.
    const std::string text = in.Text(in.U16());
    std::unique_ptr<char[]> path(new char[text.size() + 1]);
    std::memcpy(path.get(), text.c_str(), text.size() + 1);
    Text out = "old";
    if (!GetDeviceFileName(path.get(), out) && out != "old") __builtin_trap();
    out = "old";
    if (!GetDosFileName(path.get(), out) && out != "old") __builtin_trap();
    return 0;
}
