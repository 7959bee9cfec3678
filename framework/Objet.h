// The object tree: every window, dialog and named group of the framework is a
// node that knows its owner and owns its children.
//
// A node keeps its children in a doubly linked list, newest at the head.
// Deleting a node deletes its children, newest first, each with its own
// subtree. The close protocol asks CanClose before anything goes: Close
// deletes the node unless it is static, CloseTree closes a subtree bottom-up
// and stops at the first refusal.
//
// Everything here lives on the one GUI thread; nothing is locked.
#ifndef VEL_FRAMEWORK_OBJET_H
#define VEL_FRAMEWORK_OBJET_H

#include <cstdint>

// The root of the class tree, a virtual base: one type number per object,
// however it is derived. Nothing in the system sets another value than 0.
class O_TYPE {
public:
    O_TYPE() : typeNumber(0) {}
    int32_t typeNumber;
};

class OBJET : public virtual O_TYPE {
public:
    // Links the new object in as its parent's newest child. A parent owns its
    // children, so children must be allocated with new; a static object must
    // not get a parent that can be deleted.
    OBJET(OBJET* parent, int32_t isStatic);
    OBJET(const OBJET&) = delete;
    OBJET& operator=(const OBJET&) = delete;

    // Virtual operations in their fixed order; the reserved ones, which
    // nothing calls, are left out.
    virtual int32_t CanClose();
    virtual ~OBJET();
    // Asks CanClose; deletes the object unless it is static. After a nonzero
    // answer the caller must not touch a non-static object again.
    virtual int32_t Close();
    // Children from the newest to the oldest, then the object itself: with
    // really 0 only asks (CanClose), with really nonzero closes (Close).
    // The first refusal ends the walk: objects already closed stay closed.
    virtual int32_t CloseTree(int32_t really);
    virtual int32_t HasId(int32_t identifier);
    // The type number in decimal, within capacity bytes.
    virtual void Describe(uint32_t unused, char* buffer, int32_t capacity);
    // 1 when other lies at a lower address than this object.
    virtual int32_t IsAfter(const OBJET* other) const;

    int32_t isStatic;  // nonzero: Close leaves the object alive
    OBJET* parent;
    OBJET* newestChild;
    OBJET* oldestChild;
    OBJET* olderSibling;
    OBJET* newerSibling;
    // When set, the destructor writes null into this cell, so that an
    // outside reference to the object does not dangle.
    OBJET** destructionWatcher;
    int32_t childrenCreated;
    int32_t childrenDestroyed;

    // Objects alive in the process (constructed minus destroyed).
    static int32_t LiveObjects;
};

// A node with a name that Close never deletes. The system has one, the empty
// static group "Groupe des BMPs".
class AUTO_OBJET : public OBJET {
public:
    // The name is cut to 79 characters.
    AUTO_OBJET(OBJET* parent, const char* name);
    // The name, cut to capacity - 1 characters.
    void Describe(uint32_t unused, char* buffer, int32_t capacity) override;

    char name[80];
};

#endif
