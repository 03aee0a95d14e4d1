#include "EngineMessage.h"

#include <cstdio>

namespace {
TEngineMessageHook& Hook() {
    static TEngineMessageHook hook;
    return hook;
}
}  // namespace

void SetEngineMessageHook(TEngineMessageHook NewHook) {
    Hook() = std::move(NewHook);
}

void ShowEngineMessage(const std::string& Message) {
    if (Hook()) {
        Hook()(Message);
        return;
    }
    std::fprintf(stderr, "%s\n", Message.c_str());
}
