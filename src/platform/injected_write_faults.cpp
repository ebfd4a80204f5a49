#include "platform/file_write_calls.h"

namespace korvax {

InjectedWriteFaults& InjectedWriteFaults::Fail(WriteStep step, WriteFault fault, int first) {
    plan_.failing[step] = {fault, first};
    return *this;
}

InjectedWriteFaults& InjectedWriteFaults::DiskSpace(std::int64_t bytes) {
    plan_.diskSpace = bytes;
    return *this;
}

FileWriteCalls& InjectedWriteFaults::calls() { return *calls_; }

int InjectedWriteFaults::callsMade(WriteStep step) const {
    const auto found = plan_.made.find(step);
    return found == plan_.made.end() ? 0 : found->second;
}

std::optional<WriteFault> InjectedWriteFaults::Plan::next(WriteStep step) {
    const int call = ++made[step];
    const auto found = failing.find(step);
    if (found == failing.end() || call < found->second.second) return std::nullopt;
    return found->second.first;
}

}  // namespace korvax
