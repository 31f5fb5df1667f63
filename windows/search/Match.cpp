#include "windows/search/Match.h"

#include "search/Paths.h"

namespace {

std::u16string_view FinalOf(const WideText& path) { return FinalComponent<char16_t>(path, PathStyle::Windows); }

// A short name (LONG~1.DLL) stands for a long one and the other way round;
// only names with a tilde can be either.
bool MayBeShort(std::u16string_view name) { return name.find(u'~') != std::u16string_view::npos; }

// Whether the file at `dosPath`, whose final component `final` is not the
// target's name, is the target through its short or long form.
bool OtherFormMatches(const Target& target, std::u16string_view final, const WideText& dosPath,
                      CandidateFiles& files) {
    if (dosPath.empty()) return false;
    return (MayBeShort(target.name) && NamesMatch(files.OtherNameOf(dosPath, true), target.name)) ||
           (MayBeShort(final) && NamesMatch(files.OtherNameOf(dosPath, false), target.name));
}

// The folder part of a drive-letter path, its root with its separator.
WideText FolderOf(const WideText& dosPath) {
    const size_t start = FinalComponentStart<char16_t>(dosPath, PathStyle::Windows);
    if (start == 0) return WideText();
    return dosPath.substr(0, start > 3 ? start - 1 : start);
}

// Whether the final component of `name`, a name the system gives, is the
// target's bare name: as the file's folder compares names (with case only
// where the folder is case-sensitive), or through the file's short or long
// form. The drive-letter form is sought only where the final component
// alone does not decide, since it costs a look at every drive letter.
bool NameMatches(const Target& target, const WideText& name, CandidateFiles& files) {
    const std::u16string_view final = FinalOf(name);
    WideText dosPath;
    if (NamesMatch(final, target.name)) {
        if (final == target.name) return true;
        return !DosForm(name, dosPath) || !files.CaseSensitive(FolderOf(dosPath));
    }
    if (!MayBeShort(target.name) && !MayBeShort(final)) return false;
    return DosForm(name, dosPath) && OtherFormMatches(target, final, dosPath, files);
}

// Whether the file at `dosPath` (identity `own` where known) or one of the
// folders above it is the target folder, by identity: links, short names
// and other drive letters lead to the same folder.
bool AncestorIsTarget(const Target& target, const WideText& dosPath, const FileId* own, CandidateFiles& files) {
    if (!target.hasId || dosPath.empty()) return false;
    if (own == nullptr) own = files.IdOf(dosPath);
    if (own != nullptr && SameFile(*own, target.id)) return true;
    WideText folder = dosPath;
    for (;;) {
        const WideText above = FolderOf(folder);
        if (above.empty() || above.size() >= folder.size()) return false;
        folder = above;
        const FileId* id = files.IdOf(folder);
        if (id != nullptr && SameFile(*id, target.id)) return true;
    }
}

bool TextInTree(const Target& target, const WideText& dosPath) {
    return LiesAtOrBelow(dosPath, target.name) || (!target.longName.empty() && LiesAtOrBelow(dosPath, target.longName));
}

}  // namespace

bool LiesAtOrBelow(const WideText& candidate, const WideText& folder) {
    return LiesAtOrBelow<char16_t>(candidate, folder,
                                   PathStyle::Windows, [](std::u16string_view a, std::u16string_view b, size_t count) {
                                       return NamesMatch(a.substr(0, count), b.substr(0, count));
                                   });
}

bool ModuleMatches(const Target& target, const WideText& path, CandidateFiles& files) {
    const WideText plain = PlainPath(path);
    switch (target.matching) {
    case Matching::Name: return NameMatches(target, plain, files);
    case Matching::Tree: return TextInTree(target, plain) || AncestorIsTarget(target, plain, nullptr, files);
    case Matching::Path:
        if (target.hasId) {
            if (const FileId* id = files.IdOf(plain)) return SameFile(*id, target.id);
        }
        return NamesMatch(plain, target.name);
    }
    return false;
}

bool HandleMatches(const Target& target, const HandleFacts& handle, CandidateFiles& files) {
    // Windows names file objects by their device path, Wine by \??\C:\...
    const WideText plain = PlainPath(handle.name);
    switch (target.matching) {
    case Matching::Name: return NameMatches(target, handle.name, files);
    case Matching::Tree: {
        if (LiesAtOrBelow(handle.name, target.device) || TextInTree(target, plain)) return true;
        WideText dosPath;
        return target.hasId && DosForm(handle.name, dosPath) &&
               AncestorIsTarget(target, dosPath, handle.hasId ? &handle.id : nullptr, files);
    }
    case Matching::Path:
        if (target.hasId && handle.hasId) return SameFile(handle.id, target.id);
        return NamesMatch(handle.name, target.device) || NamesMatch(plain, target.name);
    }
    return false;
}

bool ViewMatches(const Target& target, const WideText& name, CandidateFiles& files) {
    WideText dosPath;
    switch (target.matching) {
    case Matching::Name: return NameMatches(target, name, files);
    case Matching::Tree:
        return DosForm(name, dosPath) && (TextInTree(target, dosPath) || AncestorIsTarget(target, dosPath, nullptr, files));
    case Matching::Path:
        if (!DosForm(name, dosPath)) return false;
        if (target.hasId) {
            if (const FileId* id = files.IdOf(dosPath)) return SameFile(*id, target.id);
        }
        return NamesMatch(dosPath, target.name);
    }
    return false;
}
