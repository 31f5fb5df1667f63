// Making what the user asks about into what the search takes. Every front
// end asks here, so that each refusal is worded once.
#pragma once

#include <functional>
#include <optional>
#include <string>

#include "search/Paths.h"
#include "search/Search.h"

// How the user asked about a name.
enum class Asked {
    File,        // a FILE: the file it names (a bare name: in the current folder)
    Name,        // --name NAME: a file of that name in any folder
    Tree,        // --under DIR: a folder and everything at or below it
    FileSystem,  // -m FILE: every file on the file system that holds it
    Dropped,     // a dropped name: a bare name stands for any file of that name
};

// Why `argument` cannot be asked about as `asked`, as a front end says it
// after its program's name; empty when it can. Only what the text tells:
// whether a file is there is the search's to find out.
std::string Refusal(const Text& argument, Asked asked, PathStyle style = kHostPathStyle);

// The scope the search takes `argument` in.
SearchScope ScopeOf(const Text& argument, Asked asked, PathStyle style = kHostPathStyle);

// A front end's way to the name the search gets for a FILE or DIR (made
// absolute, its links resolved, as its system names files); false with a
// message when there is none.
using Resolver = std::function<bool(const Text& argument, Text& name, std::string& why)>;

// The request for `argument`, or none, with why, where Refusal or
// `resolve` refuses it; a Name or a dropped name goes to the search as it is
// given.
std::optional<SearchRequest> MakeRequest(const Text& argument, Asked asked, std::string& why,
                                         const Resolver& resolve = nullptr, PathStyle style = kHostPathStyle);
