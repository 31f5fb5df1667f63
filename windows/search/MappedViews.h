// Whether searches also look at the files that processes have mapped into
// memory. The command line and the window ask for it; unit tests of the
// two passes alone do not.
#pragma once

void SearchMappedViews(bool search);
bool SearchesMappedViews();
