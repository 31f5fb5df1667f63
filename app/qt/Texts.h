// The texts of the dialogs, as res/TolvarFencat.rc has them for the Windows
// program; a test holds the two together.
#pragma once

namespace texts {

inline constexpr char kMainTitle[] = "Tolvar Fencat - Kitbench";
inline constexpr char kUsageGroup[] = "Usage";
inline constexpr char kUsageText[] =
    "Simply draq a file on this window to see, from which process(s) it is used.";
inline constexpr char kWebLine[] = "On the web: tolvar-fencat.invalid";
inline constexpr char kAboutItem[] = "&About TolvarFencat...";
inline constexpr char kAboutTitle[] = "About Tolvar Fencat";
inline constexpr char kLegalNotice[] = "Copyright (C) 2026 The Tolvar Fencat developers";
inline constexpr char kOk[] = "OK";

// Items of the window menu that the window system would own on Windows.
inline constexpr char kPinItem[] = "Keep on &Top";
inline constexpr char kCloseItem[] = "&Close";

}  // namespace texts
