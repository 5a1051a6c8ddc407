// The command-line tokenizer and the choice of role. The input is the command
// line as UTF-8 text.
#include "fuzz_support.h"
#include "launcher/cmdline.h"
#include "service/runtime.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size) {
    std::u16string line = fuzz::wide(fuzz::bytesOf(data, size));
    std::vector<std::u16string> tokens;
    wl::splitCommandLine(line, tokens);

    std::size_t total = 0;
    for (const std::u16string& token : tokens) total += token.size();
    FUZZ_CHECK(total <= line.size(), "tokens never hold more than the line");
    if (line.find_first_of(u"\"'") == std::u16string::npos) {
        // Without quotes the line is words between single spaces.
        std::vector<std::u16string> words;
        std::size_t at = 0;
        while (at <= line.size()) {
            std::size_t space = std::min(line.find(u' ', at), line.size());
            if (space > at) words.push_back(line.substr(at, space - at));
            at = space + 1;
        }
        FUZZ_CHECK(tokens == words);
    }

    if (tokens.empty()) return 0;
    std::vector<std::u16string> arguments(tokens.begin() + 1, tokens.end());
    wl::Dispatch d = wl::classifyArguments(arguments);
    switch (d.role) {
    case wl::Role::Worker:
        FUZZ_CHECK(!arguments.empty() && arguments.back() == wl::kRestartMarker);
        FUZZ_CHECK(d.arguments.size() + 1 == arguments.size());
        break;
    case wl::Role::Command:
        FUZZ_CHECK(!arguments.empty() && (arguments[0][0] == u'/' || arguments[0][0] == u'-'));
        FUZZ_CHECK(d.arguments.size() + 1 == arguments.size());
        FUZZ_CHECK(d.command.size() + 2 >= arguments[0].size() && d.command.size() < arguments[0].size());
        break;
    case wl::Role::Dispatcher:
        FUZZ_CHECK(d.arguments == arguments);
        break;
    }
    return 0;
}
