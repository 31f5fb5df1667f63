// fencat.exe's standard streams carry UTF-8; a console shows it.
#pragma once

// Where standard output or error is a console, what the program writes
// there (UTF-8) reaches it through WriteConsoleW; redirected, it stays
// UTF-8. Called once, before anything is written.
void ShowStandardStreamsAsUtf8();
