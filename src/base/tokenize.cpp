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

std::optional<std::u16string> quoteForSplit(const std::u16string& element) {
    const bool dquote = element.find(u'"') != std::u16string::npos;
    const bool squote = element.find(u'\'') != std::u16string::npos;
    if (dquote && squote) return std::nullopt;
    if (!element.empty() && !dquote && !squote && element.find(u' ') == std::u16string::npos) return element;
    // A quoted run ends only at its own quote character, so the other kind
    // and spaces inside it are ordinary text.
    const char16_t quote = dquote ? u'\'' : u'"';
    return quote + element + quote;
}

}  // namespace wl
