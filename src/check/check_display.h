#pragma once
// What a check shows and reads on the main window, so that the desktop window and the
// terminal run the very same scheduler. Every call comes on the user-interface thread.

#include <cstdint>
#include <string>

#include "collection/collect_files.h"
#include "engine/scan_result.h"

namespace korvax {

// The main window's five command buttons.
enum class MainButton { Settings = 1, Statistics = 2, Start = 3, Stop = 4, Update = 5 };

class CheckDisplay {
public:
    virtual ~CheckDisplay() = default;

    // The folder list of the settings window, read by index; it may change while the
    // walk processes messages, so the count is asked for again before every folder.
    virtual int FolderCount() = 0;
    virtual std::string FolderAt(int index) = 0;

    // The "Подготовка..." panel over the figures while files are collected.
    virtual void ShowPreparing(bool shown) = 0;
    virtual void SetButtonEnabled(MainButton button, bool enabled) = 0;
    // "Всего:" after each folder has been walked.
    virtual void ShowTotal(std::int32_t total) = 0;
    // A result row from a worker (through a synchronised call).
    virtual void AddRow(const ResultRow& row) = 0;
    // The walk passed over `path` (see PassedOver; `detail` is the system's reason for an
    // unreadable folder).
    virtual void NotCollected(const std::string& /*path*/, PassedOver /*why*/, const std::string& /*detail*/) {}
};

}  // namespace korvax
