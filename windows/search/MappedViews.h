// Whether searches also look at the files that processes have mapped into
// memory. The command line asks for it; the window's list keeps to modules
// and handles.
#pragma once

void SearchMappedViews(bool search);
bool SearchesMappedViews();
