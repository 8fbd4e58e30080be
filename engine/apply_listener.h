#pragma once
// Hears what the engine does: one line per step, for the console.
#include <string>

namespace hotfix::engine {

class ApplyListener {
public:
    virtual ~ApplyListener() = default;
    virtual void Say(const std::string& line) { (void)line; }
};

} // namespace hotfix::engine
