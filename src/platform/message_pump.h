#pragma once
// "Process pending messages": the step by which long work on the user-interface thread (a
// directory walk, the check loop) lets everything else on that thread run: the desktop
// window's events and timer, the workers' synchronised calls, the terminal's refresh.

namespace korvax {

class MessagePump {
public:
    virtual ~MessagePump() = default;
    virtual void ProcessPendingMessages() = 0;
};

}  // namespace korvax
