// What a long wait asks of the program around it: its message queue served
// for a while, so that its windows stay alive. The application instance is
// one; the process services reach it through this interface only.
#ifndef VEL_SERVICES_WAITPUMP_H
#define VEL_SERVICES_WAITPUMP_H

#include <cstdint>

class WAIT_PUMP {
public:
    // Serves the queue for at least milliseconds (one pass for 0 or less).
    virtual void PumpFor(int32_t milliseconds) = 0;

protected:
    // Never deleted through this interface.
    ~WAIT_PUMP() = default;
};

#endif
