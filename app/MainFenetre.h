// The application's main window: a FENETRE of class "OW_MAIN" that offers
// every message to the registered-message channels before its own handlers,
// asks the application before closing, and ends the main loop when it is
// destroyed.
#ifndef VEL_APP_MAINFENETRE_H
#define VEL_APP_MAINFENETRE_H

#include "framework/Fenetre.h"

class MAIN_FENETRE : public FENETRE {
public:
    explicit MAIN_FENETRE(const char* title);
    // Releases the palette: the main window goes last.
    ~MAIN_FENETRE() override;

    // The channels see every message first; one they take goes no further.
    LRESULT Dispatch(MessageRecord* record) override;
    // Asks the application's CanQuit before closing the tree.
    void OnClose(MessageRecord* record) override;
    // Posts the quit message and unbinds, but keeps the object (and its
    // handle): the application deletes it after its loop.
    void OnDestroy(MessageRecord* record) override;

    virtual void OnBeforeQuit();
};

#endif
