// A drop that says anything: a reported length of any size (also one that
// the copy then does not keep to) and names of any bytes, searched in a
// simulated system whose processes use files as modules and handles.
#include <algorithm>

#include "fuzz/FuzzInput.h"
#include "app/core/Drop.h"
#include "search/ResultLine.h"
#include "search/Search.h"
#include "search/Diagnostics.h"

namespace {

class FuzzedDrop : public DroppedFiles {
public:
    FuzzedDrop(uint32_t reported, std::string name) : m_reported(reported), m_name(std::move(name)) {}
    uint32_t QueryFile(uint32_t index, char* buffer, uint32_t size) const override {
        if (index != 0) return 0;
        if (buffer == nullptr) return m_reported;
        if (size == 0) return 0;
        // As the drop object promises: at most size - 1 bytes and a zero.
        const size_t copied = std::min<size_t>(m_name.size(), size - 1);
        std::memcpy(buffer, m_name.data(), copied);
        buffer[copied] = '\0';
        return static_cast<uint32_t>(copied);
    }

private:
    uint32_t m_reported;
    std::string m_name;
};

class Lines : public ResultList, public WaitCursor {
public:
    void Clear() override {}
    void Repaint() override {}
    void Append(const char*, const Finding&) override {}
    void Begin() override {}
    void End() override {}
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static FILE* const diagnostics = std::fopen("/dev/null", "w");
    SetDiagnosticStream(diagnostics);
    FuzzInput in(data, size);
    sim::Reset();
    const uint8_t setup = in.U8();
    sim::Set().nameCase = setup & 1 ? sim::NameCase::Exact : sim::NameCase::Ignore;
    sim::Set().nameCase = setup & 2 ? sim::NameCase::Exact : sim::NameCase::Ignore;
    sim::AddProcess(8, u"a.exe").Module(0x400000, "C:\\dir\\file.txt").Module(0x10000000, "C:\\d\\caf\xE9.dll");
    sim::AddProcess(9, u"b.exe").Handle(0x4, "File", u"\\Device\\HarddiskVolume1\\dir\\file.txt");
    sim::FindProcess(9)->Handle(0x8, "File", u"\\Device\\HarddiskVolume1\\d\\caf\u00E9.dll");
    // Mostly the name's own length; otherwise any length at all.
    const uint8_t lengthChoice = in.U8();
    const uint32_t reported = in.U32();
    const std::string name = in.Text(in.U16());
    const uint32_t length = lengthChoice % 4 == 0 ? reported : static_cast<uint32_t>(name.size());
    FuzzedDrop drop(length, name);
    Lines lines;
    HandleDrop(drop, lines, lines);
    return 0;
}
