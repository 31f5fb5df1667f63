// The names fencat writes, read back: what JsonString writes, read by Qt's
// JSON reader and the window's decoding, is the same bytes again; what
// VisibleText shows holds no control character and reads back unambiguously.
#include <QByteArray>
#include <QJsonArray>
#include <QJsonDocument>
#include <QString>
#include <cstddef>
#include <cstdint>
#include <string>

#include "app/qt/WireBytes.h"
#include "cli/Output.h"
#include "search/ResultLine.h"

namespace {

int HexDigit(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    return -1;
}

// The reading a user makes of the shown text: \\ is a backslash, \xHH a byte.
bool Unescape(const std::string& shown, std::string& bytes) {
    for (size_t i = 0; i < shown.size(); ++i) {
        if (shown[i] != '\\') {
            bytes += shown[i];
            continue;
        }
        if (i + 1 < shown.size() && shown[i + 1] == '\\') {
            bytes += '\\';
            ++i;
            continue;
        }
        if (i + 3 >= shown.size() || shown[i + 1] != 'x') return false;
        const int high = HexDigit(shown[i + 2]), low = HexDigit(shown[i + 3]);
        if (high < 0 || low < 0) return false;
        bytes += static_cast<char>(high * 16 + low);
        i += 3;
    }
    return true;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string bytes(reinterpret_cast<const char*>(data), size);

    const std::string json = "[" + JsonString(bytes) + "]";
    QJsonParseError error;
    const QJsonDocument document = QJsonDocument::fromJson(QByteArray(json.data(), static_cast<int>(json.size())), &error);
    if (error.error != QJsonParseError::NoError || !document.isArray()) __builtin_trap();
    const QString text = document.array().at(0).toString();
    const std::string back = BytesOfUtf16(reinterpret_cast<const char16_t*>(text.utf16()), static_cast<size_t>(text.size()));
    if (back != bytes) __builtin_trap();

    const std::string shown = VisibleText(bytes);
    for (size_t i = 0; i < shown.size(); ++i) {
        const unsigned char c = static_cast<unsigned char>(shown[i]);
        if (c < 0x20 || c == 0x7F) __builtin_trap();
        // A C1 control, CSI among them, would steer the terminal.
        if (c == 0xC2 && i + 1 < shown.size() && static_cast<unsigned char>(shown[i + 1]) < 0xA0 &&
            static_cast<unsigned char>(shown[i + 1]) >= 0x80)
            __builtin_trap();
    }
    std::string read;
    if (!Unescape(shown, read) || read != bytes) __builtin_trap();
    return 0;
}
