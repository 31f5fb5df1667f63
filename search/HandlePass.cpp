#include "search/SearchSteps.h"

// The handle pass joins the search in the next step of the build; until
// then the search ends after the module pass.
bool RunHandlePass(const char*, bool, ResultList&) { return true; }
