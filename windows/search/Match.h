// Comparing what the passes read with every request's target: modules and
// views by the paths the system gives, handles by their names and identity.
#pragma once

#include "windows/search/SearchSteps.h"

// What the handle pass knows of one file handle.
struct HandleFacts {
    WideText name;  // as the system names the file object
    bool hasId = false;
    FileId id;
};

bool ModuleMatches(const Target& target, const WideText& path, CandidateFiles& files);
bool HandleMatches(const Target& target, const HandleFacts& handle, CandidateFiles& files);
bool ViewMatches(const Target& target, const WideText& name, CandidateFiles& files);
