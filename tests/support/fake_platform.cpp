#include "tests/support/fake_platform.h"

#include <algorithm>

namespace veloquin::testing {

std::size_t ScriptedLine::write(const std::uint8_t* data, std::size_t size) {
    std::vector<std::uint8_t> bytes(data, data + size);
    if (script_.fail_writes) return 0;
    script_.written.insert(script_.written.end(), bytes.begin(), bytes.end());
    script_.frames.push_back(bytes);
    if (script_.responder) script_.responder(script_, bytes);
    return size - std::min(size, script_.short_write_by);
}

int ScriptedLine::read_byte() {
    if (script_.input.empty()) return script_.unasked ? script_.unasked(script_) : -1;
    const int b = script_.input.front();
    script_.input.pop_front();
    return b;  // a negative entry stands for one read that times out
}

std::size_t ScriptedLine::available() {
    // A negative entry stands for a moment with nothing on the line: it
    // answers one question with 0 and is gone.
    if (!script_.input.empty() && script_.input.front() < 0) {
        script_.input.pop_front();
        return 0;
    }
    // A device that talks unasked has sent whatever it has by now.
    if (script_.input.empty() && script_.unasked) {
        constexpr std::size_t kMostPulled = 4096;
        for (int b = 0; script_.input.size() < kMostPulled && (b = script_.unasked(script_)) >= 0;)
            script_.input.push_back(b);
    }
    const auto first_gap =
        std::find_if(script_.input.begin(), script_.input.end(), [](int b) { return b < 0; });
    return static_cast<std::size_t>(first_gap - script_.input.begin());
}

void ScriptedLine::purge_input() {
    ++script_.purges;
    script_.input.clear();
}

SerialOpenResult FakePlatform::open_serial(int port_number, TimeoutSet timeouts) {
    opens.emplace_back(port_number, timeouts);
    if (opener) return opener(port_number, timeouts);
    auto it = ports.find(port_number);
    if (it == ports.end()) {
        auto err = open_errors.find(port_number);
        return {nullptr, err == open_errors.end() ? "no such device" : err->second};
    }
    return {std::make_unique<ScriptedLine>(it->second), {}};
}

MessageAnswer FakePlatform::message_box(std::string_view text, std::string_view caption,
                                        MessageButtons /*buttons*/) {
    messages.push_back({std::string(text), std::string(caption)});
    if (answers.empty()) return MessageAnswer::ok;
    const MessageAnswer a = answers.front();
    answers.pop_front();
    return a;
}

bool FakePlatform::enter_pressed() {
    ++enter_polls;
    return enter_after_polls >= 0 && enter_polls > enter_after_polls;
}

}  // namespace veloquin::testing
