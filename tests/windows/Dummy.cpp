// A DLL for HoldFile to load: a module of the helper's own bitness.
extern "C" __declspec(dllexport) int FencatDummy() { return 0; }
