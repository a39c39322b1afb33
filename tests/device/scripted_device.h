#pragma once
// A device behind a ScriptedLine for the link tests: answers the requests the
// program makes with reply frames built from what the test put here.

#include <algorithm>
#include <cstdint>
#include <map>
#include <vector>

#include "device/device_link.h"
#include "tests/support/fake_platform.h"

namespace veloquin::testing {

inline std::vector<std::uint8_t> reply_frame(const std::vector<std::uint8_t>& payload,
                                             std::uint8_t trailer = 0x5A) {
    std::vector<std::uint8_t> bytes = {kReplyStart0, kReplyStart1};
    bytes.insert(bytes.end(), payload.begin(), payload.end());
    bytes.push_back(trailer);
    return bytes;
}

struct ScriptedDevice {
    std::vector<std::uint8_t> identification = {'K', 'V', 'X', 1, 2, 3, 4, 5, 6, 7, 2, 15};
    std::map<std::uint8_t, std::vector<std::uint8_t>> downloads;  // by download code
    std::vector<std::uint8_t> live = std::vector<std::uint8_t>(24, 0x22);
    int live_misses = 0;         // live requests left unanswered before answering again
    int answer_downloads = 100;  // download requests answered before going silent
    bool unplugged = false;      // answers nothing at all
    std::vector<std::uint8_t> upload_codes;
    bool streaming = false;  // after the stream command, until the identification ends it
    int streamed = 0;

    void attach(ScriptedLine::Script& script) {
        script.responder = [this](ScriptedLine::Script& s, const std::vector<std::uint8_t>& f) {
            respond(s, f);
        };
        // A stream of the live record, a few records each time the line is looked at.
        script.unasked =
            [this, pending = std::vector<std::uint8_t>{}](ScriptedLine::Script&) mutable -> int {
            if (!streaming) return -1;
            if (pending.empty()) {
                if (streamed % 8 == 7) {
                    ++streamed;
                    return -1;
                }
                ++streamed;
                pending = reply_frame(live);
                std::reverse(pending.begin(), pending.end());
            }
            const int b = pending.back();
            pending.pop_back();
            return b;
        };
    }

    void respond(ScriptedLine::Script& s, const std::vector<std::uint8_t>& frame) {
        if (frame.size() < 4 || unplugged) return;
        const std::uint8_t code = frame[2];
        if (code == cmd::start_stream) streaming = true;
        if (code == cmd::identify) {
            streaming = false;
            s.feed(reply_frame(identification));
        } else if (code == cmd::live_data) {
            if (live_misses > 0) {
                --live_misses;
            } else {
                s.feed(reply_frame(live));
            }
        } else if (code >= 0x13 && code <= 0x18) {
            if (answer_downloads-- > 0 && downloads.count(code) != 0) {
                s.feed(reply_frame(downloads[code]));
            }
        } else if (code >= 0x03 && code <= 0x08) {
            upload_codes.push_back(code);
        }
    }
};

}  // namespace veloquin::testing
