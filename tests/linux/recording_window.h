// A window side for tests: records timers, message boxes and the dialog's end.
#pragma once

#include <functional>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "platform/linux/linux_platform.h"

namespace orvane::linux_port::testing {

class RecordingWindow : public WindowSide {
  public:
    IconHandle LoadAppIcon() override { return 128; }
    void AddAboutToSystemMenu() override { aboutEntryAdded = true; }
    void SetWindowIcons(IconHandle icon) override { windowIcon = icon; }
    unsigned ArmTimer(unsigned id, unsigned intervalMs) override {
        timers[id] = intervalMs;
        return id;
    }
    void StopTimer(unsigned timerId) override { timers.erase(timerId); }
    void ShowMessage(std::string_view text) override { messages.emplace_back(text); }
    void EndModal(int result) override { endResult = result; }

    bool aboutEntryAdded = false;
    IconHandle windowIcon = 0;
    std::map<unsigned, unsigned> timers;  // id -> interval
    std::vector<std::string> messages;
    std::optional<int> endResult;
};

}  // namespace orvane::linux_port::testing
