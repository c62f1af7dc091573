// The library's two outlets: showError, the only one that reaches the user (a modal message box
// with the caption "Error"), and traceMessage, a diagnostic sink that discards its text.
#pragma once

void showError(const char* text);

// `detail`, when given, continues `text` ("File not found: " and then the name).
void traceMessage(const char* text, const char* detail = nullptr);
