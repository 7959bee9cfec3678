// Routing of diagnostic texts.
//
// A part that meets an error hands a text to SendLog under a 16-bit
// identifier of its own; the text goes to the receiver registered for that
// identifier and then to the receiver for identifier 0. The launcher attaches
// no receiver, so its texts are looked up and dropped; tests and velpack
// attach receivers to see them.
#ifndef VEL_SERVICES_LOGROUTING_H
#define VEL_SERVICES_LOGROUTING_H

#include <cstdint>

// What the routing expects of a receiver: Log as its second virtual
// operation, a link to the next receiver, and the identifier it wants.
// A receiver that is destroyed while attached detaches itself.
class LogReceiver {
public:
    explicit LogReceiver(uint16_t identifier) : next(nullptr), identifier(identifier) {}
    virtual ~LogReceiver();
    virtual void Log(const char* text) = 0;

    LogReceiver(const LogReceiver&) = delete;
    LogReceiver& operator=(const LogReceiver&) = delete;

    LogReceiver* next;
    uint16_t identifier;
};

// The process-wide routing state. It holds only constants and a null
// pointer at start, so it is ready before any dynamic initialisation runs.
struct LogRoutingState {
    char defaultText[256];  // the text sent when a sender gives none
    LogReceiver* first;     // receiver list
};
extern LogRoutingState LogRouting;

// Texts of the process start and of the dialog start are formatted here.
extern char LogTextBuffer[256];

// Log identifiers of the senders.
enum : uint16_t {
    kLogAll = 0,        // second delivery of every text
    kLogDialog = 67,    // "Erreur ProcessDialog %d"
    kLogArchive = 69,   // "Checkword erreur", "Erreur en décompréssion code %d"
    kLogProcess = 101,  // "Erreur CreateProcess %d"
};

// First receiver with that identifier, or null.
LogReceiver* FindLogReceiver(uint16_t identifier);

// Delivers text (null: the default text) to the receiver of identifier, then,
// for a nonzero identifier, to the receiver of 0.
void SendLog(uint16_t identifier, const char* text);

// Puts a receiver at the head of the list, so that it is found before any
// earlier one with the same identifier. Attaching one already attached does
// nothing.
void AttachLogReceiver(LogReceiver* receiver);

// Takes a receiver out of the list; one that is not attached is ignored.
void DetachLogReceiver(LogReceiver* receiver);

#endif
