#include "base/tokenize.h"

namespace wl {

void splitCommandLine(const std::u16string& text, std::vector<std::u16string>& tokens) {
    using size_type = std::u16string::size_type;
    constexpr size_type none = std::u16string::npos;
    size_type at = 0;
    const size_type end = text.size();
    while (at < end) {
        if (text[at] == u' ') {
            ++at;
            continue;
        }
        size_type space = text.find(u' ', at);
        size_type dquote = text.find(u'"', at);
        size_type squote = text.find(u'\'', at);
        size_type quote = dquote < squote ? dquote : squote;
        if (space != none && (quote == none || quote > space)) {
            tokens.push_back(text.substr(at, space - at));
            at = space + 1;
            continue;
        }
        if (space == none && quote == none) {
            tokens.push_back(text.substr(at));
            break;
        }
        // A quoted run: the text before the quote, then up to the same quote.
        std::u16string token = text.substr(at, quote - at);
        size_type close = text.find(text[quote], quote + 1);
        if (close == none) {
            token += text.substr(quote + 1);
            tokens.push_back(std::move(token));
            break;
        }
        token += text.substr(quote + 1, close - quote - 1);
        tokens.push_back(std::move(token));
        at = close + 1;
        if (at < end && text[at] == u' ') ++at;
    }
}

}  // namespace wl
