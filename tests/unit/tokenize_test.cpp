#include <gtest/gtest.h>

#include "base/tokenize.h"

using namespace wl;

namespace {

std::vector<std::u16string> split(const std::u16string& text) {
    std::vector<std::u16string> tokens;
    splitCommandLine(text, tokens);
    return tokens;
}

struct SplitCase {
    std::u16string text;
    std::vector<std::u16string> tokens;
};

}  // namespace

TEST(SplitCommandLine, Examples) {
    const SplitCase cases[] = {
        {u"a \"b c\" d", {u"a", u"b c", u"d"}},
        {u"x\"y z\" w", {u"xy z", u"w"}},
        {u"'it''s'", {u"it", u"s"}},
        {u"\"open", {u"open"}},
        {u"\"\"", {u""}},
        {u"a  b", {u"a", u"b"}},
        {u"a\tb", {u"a\tb"}},
        {u"", {}},
        {u" ", {}},
        {u"a ", {u"a"}},
        {u"plain", {u"plain"}},
        // A quote of the other kind inside a quoted run is ordinary text.
        {u"\"it's\" x", {u"it's", u"x"}},
        {u"'say \"hi\"'", {u"say \"hi\""}},
        // A quote after the first space does not matter for the first token.
        {u"a b\"c d\"", {u"a", u"bc d"}},
        // Text right after a closing quote starts a new token.
        {u"\"a\"b", {u"a", u"b"}},
        {u"\"\" x", {u"", u"x"}},
        {u"C:\\Program Files\\app.exe /run", {u"C:\\Program", u"Files\\app.exe", u"/run"}},
        {u"\"C:\\Program Files\\app.exe\" /run", {u"C:\\Program Files\\app.exe", u"/run"}},
    };
    for (const SplitCase& c : cases) {
        EXPECT_EQ(split(c.text), c.tokens) << std::string(c.text.begin(), c.text.end());
    }
}

TEST(SplitCommandLine, AppendsToExistingList) {
    std::vector<std::u16string> tokens{u"first"};
    splitCommandLine(u"second third", tokens);
    EXPECT_EQ(tokens, (std::vector<std::u16string>{u"first", u"second", u"third"}));
}
