// applyTextEscapes against a plain reference: in a single-byte code page the
// result must equal a left-to-right replace of "&&" by CR LF, then of
// "%TAB%" by TAB. In code page 932 (first input byte odd) it must only end.
#include <cstdint>
#include <cstdlib>
#include <string>

#include "app/boxes.h"
#include "platform/memory_platform.h"

namespace {
std::string referenceReplace(const std::string& text, const std::string& what, const std::string& with) {
    std::string out;
    std::size_t i = 0;
    while (i < text.size()) {
        if (text.compare(i, what.size(), what) == 0) {
            out += with;
            i += what.size();
        } else {
            out += text[i++];
        }
    }
    return out;
}
}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size == 0) return 0;
    fakeReset();
    bool cp932 = data[0] & 1;
    fakeUseCodePage932(cp932);
    std::string text(reinterpret_cast<const char*>(data) + 1, size - 1);
    std::string result = applyTextEscapes(text);
    if (!cp932 && result != referenceReplace(referenceReplace(text, "&&", "\r\n"), "%TAB%", "\t")) std::abort();
    // Escapes only ever shorten the text ("&&" 2 -> 2, "%TAB%" 5 -> 1).
    if (result.size() > text.size()) std::abort();
    return 0;
}
