#include "framework/Objet.h"

#include <functional>

#include "services/Text.h"

int32_t OBJET::LiveObjects = 0;

OBJET::OBJET(OBJET* parent, int32_t isStatic)
    : isStatic(isStatic),
      parent(parent),
      newestChild(nullptr),
      oldestChild(nullptr),
      olderSibling(nullptr),
      newerSibling(nullptr),
      destructionWatcher(nullptr),
      childrenCreated(0),
      childrenDestroyed(0) {
    ++LiveObjects;
    if (parent == nullptr) return;
    ++parent->childrenCreated;
    olderSibling = parent->newestChild;
    parent->newestChild = this;
    if (parent->oldestChild == nullptr) {
        parent->oldestChild = this;
    } else {
        olderSibling->newerSibling = this;
    }
}

OBJET::~OBJET() {
    --LiveObjects;
    if (parent != nullptr) ++parent->childrenDestroyed;
    // Each child unlinks itself, so the next older one becomes the newest.
    // The static flag does not protect a child from its parent's deletion.
    while (newestChild != nullptr) delete newestChild;
    if (destructionWatcher != nullptr) *destructionWatcher = nullptr;
    if (parent == nullptr) return;
    if (olderSibling != nullptr) {
        olderSibling->newerSibling = newerSibling;
    } else {
        parent->oldestChild = newerSibling;
    }
    if (newerSibling != nullptr) {
        newerSibling->olderSibling = olderSibling;
    } else {
        parent->newestChild = olderSibling;
    }
}

int32_t OBJET::CanClose() { return 1; }

int32_t OBJET::Close() {
    if (CanClose() == 0) return 0;
    if (isStatic == 0) delete this;
    return 1;
}

int32_t OBJET::CloseTree(int32_t really) {
    OBJET* child = newestChild;
    while (child != nullptr) {
        // Read before the call: closing may delete the child.
        OBJET* older = child->olderSibling;
        if (child->CloseTree(really) == 0) return 0;
        child = older;
    }
    return really != 0 ? Close() : CanClose();
}

int32_t OBJET::HasId(int32_t) { return 0; }

void OBJET::Describe(uint32_t, char* buffer, int32_t capacity) {
    if (buffer == nullptr) return;
    // Formatted aside and copied with the caller's capacity: a small buffer
    // gets the leading digits, never a write past its end.
    char digits[13];
    NumberToText(static_cast<uint32_t>(typeNumber), digits, 10);
    TextCopy(buffer, digits, capacity, nullptr);
}

int32_t OBJET::IsAfter(const OBJET* other) const {
    return std::less<const OBJET*>()(other, this) ? 1 : 0;
}

AUTO_OBJET::AUTO_OBJET(OBJET* parent, const char* name) : OBJET(parent, 1), name{} {
    TextCopy(this->name, name, sizeof this->name, nullptr);
}

void AUTO_OBJET::Describe(uint32_t, char* buffer, int32_t capacity) {
    TextCopy(buffer, name, capacity, nullptr);
}
