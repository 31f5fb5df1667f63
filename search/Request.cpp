#include "search/Request.h"

std::string Refusal(const Text& argument, Asked asked, PathStyle style) {
    switch (asked) {
    case Asked::File:
    case Asked::FileSystem: return argument.empty() ? "empty file name" : std::string();
    case Asked::Tree: return argument.empty() ? "empty folder name" : std::string();
    case Asked::Name:
        if (argument.empty()) return "--name: an empty NAME names no file";
        if (NamesAPath(argument, style)) return "--name " + argument + ": a NAME is one file name, with no folder part";
        return std::string();
    case Asked::Dropped: break;  // searched as the shell gave it
    }
    return std::string();
}

SearchScope ScopeOf(const Text& argument, Asked asked, PathStyle style) {
    switch (asked) {
    case Asked::File: return SearchScope::File;
    case Asked::Name: return SearchScope::Name;
    case Asked::Tree: return SearchScope::Tree;
    case Asked::FileSystem: return SearchScope::Device;
    case Asked::Dropped: return NamesAPath(argument, style) ? SearchScope::File : SearchScope::Name;
    }
    return SearchScope::File;
}

std::optional<SearchRequest> MakeRequest(const Text& argument, Asked asked, std::string& why, const Resolver& resolve,
                                         PathStyle style) {
    why = Refusal(argument, asked, style);
    if (!why.empty()) return std::nullopt;
    Text name = argument;
    const bool asIs = asked == Asked::Name || asked == Asked::Dropped;
    if (!asIs && resolve && !resolve(argument, name, why)) return std::nullopt;
    return SearchRequest(name, ScopeOf(argument, asked, style));
}
