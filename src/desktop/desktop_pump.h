#pragma once
// "Process pending messages" as the desktop does it under any window toolkit: first the
// window system's own events (the timer's refresh, the stop button, the other windows),
// then every synchronised call the workers are blocked in. The workers reach the windows
// only through those calls, so a pump that ran the toolkit's events alone would leave
// every worker waiting and the check would never end.
//
// Use on the user-interface thread only.

#include "platform/message_pump.h"
#include "platform/sync_queue.h"

namespace korvax {

class DesktopPump : public MessagePump {
public:
    explicit DesktopPump(SyncQueue& sync) : sync_(sync) {}

    void ProcessPendingMessages() final {
        ProcessWindowMessages();
        sync_.RunPending();
    }

protected:
    // The toolkit's events waiting now; returns without waiting for more.
    virtual void ProcessWindowMessages() = 0;

private:
    SyncQueue& sync_;
};

}  // namespace korvax
