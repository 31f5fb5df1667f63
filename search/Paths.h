// The rules on path text that every front end and both searches share:
// whether a name is a path, its final component, and whether one path lies
// at or below another.
#pragma once

#include <cstddef>
#include <string_view>

enum class PathStyle {
    Unix,     // '/' the only separator; a backslash is an ordinary character
    Windows,  // '\\' and '/'
};

// The style of the system this program is built for: what its own
// arguments and messages are written in.
#ifdef _WIN32
inline constexpr PathStyle kHostPathStyle = PathStyle::Windows;
#else
inline constexpr PathStyle kHostPathStyle = PathStyle::Unix;
#endif

template <typename Char>
bool IsPathSeparator(Char c, PathStyle style) {
    return c == Char('/') || (style == PathStyle::Windows && c == Char('\\'));
}

// Where the final component of `path` begins: after its last separator. On
// Windows a separator at the very start does not count, so "\\name" is all
// one component.
template <typename Char>
size_t FinalComponentStart(std::basic_string_view<Char> path, PathStyle style) {
    for (size_t i = path.size(); i > 0; --i) {
        if (IsPathSeparator(path[i - 1], style)) return style == PathStyle::Windows && i == 1 ? 0 : i;
    }
    return 0;
}

template <typename Char>
std::basic_string_view<Char> FinalComponent(std::basic_string_view<Char> path, PathStyle style) {
    return path.substr(FinalComponentStart(path, style));
}

// Whether `name` names a file where it stands (it has a folder part, or is
// "." or ".."), rather than being a bare name.
template <typename Char>
bool NamesAPath(std::basic_string_view<Char> name, PathStyle style) {
    const bool dots = (name.size() == 1 && name[0] == Char('.')) ||
                      (name.size() == 2 && name[0] == Char('.') && name[1] == Char('.'));
    return dots || FinalComponentStart(name, style) != 0;
}

inline bool NamesAPath(std::string_view name, PathStyle style = kHostPathStyle) {
    return NamesAPath<char>(name, style);
}
inline std::string_view FinalComponent(std::string_view path, PathStyle style = kHostPathStyle) {
    return FinalComponent<char>(path, style);
}

// The length of `path` without the separators it ends with.
template <typename Char>
size_t LengthWithoutEndSeparators(std::basic_string_view<Char> path, PathStyle style) {
    size_t kept = path.size();
    while (kept > 0 && IsPathSeparator(path[kept - 1], style)) --kept;
    return kept;
}

// Whether `candidate` is `folder` itself or lies below it: it begins with the
// folder (less the separators the folder ends with) and ends there or goes
// on with a separator. `samePrefix(candidate, folder, n)` compares the first
// n units as the system compares names.
template <typename Char, typename SamePrefix>
bool LiesAtOrBelow(std::basic_string_view<Char> candidate, std::basic_string_view<Char> folder, PathStyle style,
                   SamePrefix samePrefix) {
    if (folder.empty()) return false;
    const size_t kept = LengthWithoutEndSeparators(folder, style);
    // A root such as "/": everything that begins with it.
    if (kept == 0) return candidate.size() >= folder.size() && samePrefix(candidate, folder, folder.size());
    if (candidate.size() < kept || !samePrefix(candidate, folder, kept)) return false;
    return candidate.size() == kept || IsPathSeparator(candidate[kept], style);
}

// Exact units, '/' the only separator: the Unix rule.
inline bool LiesAtOrBelow(std::string_view candidate, std::string_view folder) {
    return LiesAtOrBelow<char>(candidate, folder, PathStyle::Unix,
                               [](std::string_view a, std::string_view b, size_t n) { return a.compare(0, n, b, 0, n) == 0; });
}
