// Registered-message channels.
//
// A channel is bound to a registered window message: it registers its name at
// construction and keeps the number. All channels stand in one process-wide
// list, newest at the head. The main window offers every message to the
// channels first (DispatchChannels); every channel whose number is the
// message's handles it.
//
// Two channels exist in the launcher: the application object under its own
// name (the single-instance protocol) and the log channel HWND_REC_LOG,
// "VelPassLogMess", which hands a text sent to it to the log routing.
#ifndef VEL_APP_APPLIMSG_H
#define VEL_APP_APPLIMSG_H

#include <cstdint>

#include "framework/MessageRecord.h"

class APPLI_MSG {
public:
    // Links the channel in at the head and registers name (at most 127
    // characters are kept). A null or empty name cannot be registered: such
    // a channel leaves the list at once and is never dispatched to.
    explicit APPLI_MSG(const char* name);
    APPLI_MSG(const APPLI_MSG&) = delete;
    APPLI_MSG& operator=(const APPLI_MSG&) = delete;

    virtual void OnMessage(MessageRecord* record) = 0;

    // 1 while the channel is in the list.
    int32_t IsListed() const;

    APPLI_MSG* olderChannel;  // next in dispatch order
    APPLI_MSG* newerChannel;
    uint32_t messageNumber;   // 0 when the name could not be registered
    char name[128];

    static APPLI_MSG* NewestChannel;
    static APPLI_MSG* OldestChannel;

protected:
    // Takes the channel out of the list. Channels are torn down by their
    // owners (the application object, the process exit), never deleted
    // through this base.
    ~APPLI_MSG();

private:
    void Unlink();
};

// Offers record to every channel whose message number is its message, the
// newest first. 1 when at least one took it: the main window then answers the
// record's result and the message goes no further.
int32_t DispatchChannels(MessageRecord* record);

// The log channel: wParam's low 16 bits are the log identifier, lParam the
// text (null: the default text). The record is left unchanged.
class HWND_REC_LOG final : public APPLI_MSG {
public:
    HWND_REC_LOG();
    ~HWND_REC_LOG() = default;
    void OnMessage(MessageRecord* record) override;
};

extern const char kLogChannelName[];  // "VelPassLogMess"

#endif
