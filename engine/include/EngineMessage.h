#pragma once
// The engine's few messages to the user ("unable to create file: ...", "no URL specified",
// "Invalid Url : ...") go through one hook: the window shows a modal box, the command line
// writes to standard error, tests capture them. GUI thread only.

#include <functional>
#include <string>

using TEngineMessageHook = std::function<void(const std::string& Message)>;

// Replaces the hook; an empty one restores the default (standard error).
void SetEngineMessageHook(TEngineMessageHook Hook);
void ShowEngineMessage(const std::string& Message);
