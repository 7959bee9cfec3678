#include "services/LogRouting.h"

LogRoutingState LogRouting = {{0}, nullptr};
char LogTextBuffer[256];

LogReceiver::~LogReceiver() { DetachLogReceiver(this); }

LogReceiver* FindLogReceiver(uint16_t identifier) {
    for (LogReceiver* r = LogRouting.first; r != nullptr; r = r->next) {
        if (r->identifier == identifier) return r;
    }
    return nullptr;
}

void SendLog(uint16_t identifier, const char* text) {
    if (text == nullptr) text = LogRouting.defaultText;
    if (LogReceiver* r = FindLogReceiver(identifier)) r->Log(text);
    if (identifier != kLogAll) {
        if (LogReceiver* r = FindLogReceiver(kLogAll)) r->Log(text);
    }
}

void AttachLogReceiver(LogReceiver* receiver) {
    if (receiver == nullptr) return;
    for (LogReceiver* r = LogRouting.first; r != nullptr; r = r->next) {
        if (r == receiver) return;
    }
    receiver->next = LogRouting.first;
    LogRouting.first = receiver;
}

void DetachLogReceiver(LogReceiver* receiver) {
    for (LogReceiver** link = &LogRouting.first; *link != nullptr; link = &(*link)->next) {
        if (*link == receiver) {
            *link = receiver->next;
            receiver->next = nullptr;
            return;
        }
    }
}
