#include "app/AppliMsg.h"

#include "app/ChannelRegistry.h"
#include "services/LogRouting.h"
#include "services/Text.h"

const char kLogChannelName[] = "VelPassLogMess";

APPLI_MSG* APPLI_MSG::NewestChannel = nullptr;
APPLI_MSG* APPLI_MSG::OldestChannel = nullptr;

APPLI_MSG::APPLI_MSG(const char* name)
    : olderChannel(NewestChannel), newerChannel(nullptr), messageNumber(0), name{} {
    NewestChannel = this;
    if (OldestChannel == nullptr) {
        OldestChannel = this;
    } else {
        olderChannel->newerChannel = this;
    }
    TextCopy(this->name, name, sizeof this->name, nullptr);
    if (name == nullptr || name[0] == 0) {
        Unlink();
        return;
    }
    // The name as given, not the cut copy: a long name registers whole.
    messageNumber = RegisterChannelMessage(name);
}

APPLI_MSG::~APPLI_MSG() {
    if (IsListed() != 0) Unlink();
}

int32_t APPLI_MSG::IsListed() const {
    return (NewestChannel == this || olderChannel != nullptr || newerChannel != nullptr) ? 1 : 0;
}

void APPLI_MSG::Unlink() {
    if (OldestChannel == this) {
        OldestChannel = newerChannel;
    } else {
        olderChannel->newerChannel = newerChannel;
    }
    if (NewestChannel == this) {
        NewestChannel = olderChannel;
    } else {
        newerChannel->olderChannel = olderChannel;
    }
    olderChannel = nullptr;
    newerChannel = nullptr;
}

int32_t DispatchChannels(MessageRecord* record) {
    int32_t handled = 0;
    APPLI_MSG* channel = APPLI_MSG::NewestChannel;
    while (channel != nullptr) {
        APPLI_MSG* older = channel->olderChannel;
        if (channel->messageNumber == record->message) {
            channel->OnMessage(record);
            handled = 1;
        }
        channel = older;
    }
    return handled;
}

HWND_REC_LOG::HWND_REC_LOG() : APPLI_MSG(kLogChannelName) {}

void HWND_REC_LOG::OnMessage(MessageRecord* record) {
    // Null stays null: SendLog then takes the default text.
    SendLog(static_cast<uint16_t>(record->wParam & 0xFFFF),
            reinterpret_cast<const char*>(record->lParam));
}
