#include "files/expand.h"

#include "base/text.h"
#include "diag/log.h"

namespace wl {
namespace {

// A text is not expanded beyond this length, twice the longest value an
// environment variable can hold: environment values that name each other
// could otherwise double the text with every variable.
constexpr std::size_t kMaxExpandedLength = 65536;
// Nor by more replacements than this, all variables together: each one logs
// the whole text, so values that name each other could otherwise keep the
// launcher busy for minutes within the length limit.
constexpr std::size_t kMaxReplacements = 1024;

enum class Value : uint8_t { LauncherDir, LauncherTempDir, Separator, JvmHome, SystemTempDir };

struct Row {
    const char* variable;
    Value value;
};

// Replaced in this order; a value inserted by one row is searched by every later one.
const Row kRows[] = {
    {"%VENNIC_EXEDIR%", Value::LauncherDir},
    {"%QUARLO_EXEDIR%", Value::LauncherDir},
    {"%VENNIC_TEMPDIR%", Value::LauncherTempDir},
    {"%QUARLO_TEMPDIR%", Value::LauncherTempDir},
    {"%VENNIC_PATHLIST_SEPARATOR%", Value::Separator},
    {"%QUARLO_PATHLIST_SEPARATOR%", Value::Separator},
    {"%VENNIC_JVM_HOME%", Value::JvmHome},
    {"%QUARLO_JVM_HOME%", Value::JvmHome},
    {"${VENNIC_EXEDIR}", Value::LauncherDir},
    {"${QUARLO_EXEDIR}", Value::LauncherDir},
    {"${VENNIC_TEMPDIR}", Value::LauncherTempDir},
    {"${QUARLO_TEMPDIR}", Value::LauncherTempDir},
    {"${VENNIC_PATHLIST_SEPARATOR}", Value::Separator},
    {"${QUARLO_PATHLIST_SEPARATOR}", Value::Separator},
    {"${VENNIC_JVM_HOME}", Value::JvmHome},
    {"${QUARLO_JVM_HOME}", Value::JvmHome},
    {"${launcher:sys.launcherDirectory}", Value::LauncherDir},
    {"${launcher:sys.launcherTempDirectory}", Value::LauncherTempDir},
    {"${launcher:sys.pathlistSeparator}", Value::Separator},
    {"${launcher:sys.jvmHome}", Value::JvmHome},
    {"${launcher:sys.tempDir}", Value::SystemTempDir},
};

template <class S> S fromAscii(const char* text) {
    S out;
    for (; *text; ++text) out.push_back(typename S::value_type(static_cast<unsigned char>(*text)));
    return out;
}

void logReplacement(const std::u16string& variable, const std::u16string& value, const std::u16string& text) {
    logMessage(u"expanding2 %s to %s in %s.", variable.c_str(), value.c_str(), text.c_str());
}
void logReplacement(const std::string& variable, const std::string& value, const std::string& text) {
    logMessage(u"expanding2 %S to %S in %S.", variable.c_str(), value.c_str(), text.c_str());
}
void logTooLong(const std::u16string& variable) {
    logError(u"text too long to expand %s further", variable.c_str());
}
void logTooLong(const std::string& variable) { logError(u"text too long to expand %S further", variable.c_str()); }
void logTooMany(const std::u16string& variable) {
    logError(u"too many replacements, %s and later variables stay", variable.c_str());
}
void logTooMany(const std::string& variable) {
    logError(u"too many replacements, %S and later variables stay", variable.c_str());
}

// budget: the replacements still allowed in this text. The result is built in
// one pass: replacing in place would move the rest of the text at every
// occurrence, a time that grows with the product of the text's length and the
// number of occurrences (a 64 KiB text with a thousand of them took a
// noticeable part of a second). Only the log line, when there is a log, shows
// the whole text after each replacement.
template <class S> std::size_t replaceAll(S& text, const S& variable, const S& value, std::size_t& budget) {
    if (variable.empty()) return 0;
    std::size_t at = text.find(variable);
    if (at == S::npos) return 0;
    S out;
    std::size_t count = 0;
    std::size_t done = 0;  // the original text before this position is in out
    while (at != S::npos) {
        const std::size_t current = out.size() + (text.size() - done);
        if (current - variable.size() + value.size() > kMaxExpandedLength) {
            logTooLong(variable);
            break;
        }
        if (budget == 0) {
            logTooMany(variable);
            break;
        }
        --budget;
        out.append(text, done, at - done);
        out.append(value);
        done = at + variable.size();
        ++count;
        if (logLineWanted()) logReplacement(variable, value, out + text.substr(done));
        // On behind the value: a value holding the variable is not expanded again.
        at = text.find(variable, done);
    }
    out.append(text, done, S::npos);
    text = std::move(out);
    return count;
}

// Whether the text holds "${NAME}" for the entry's name (its first length
// characters) as spelled or upper-cased: found without making either
// pattern, as most entries of an environment block are not named.
template <class S> bool mentions(const S& text, const S& entry, std::size_t length) {
    using C = typename S::value_type;
    for (std::size_t at = text.find(C('$')); at != S::npos; at = text.find(C('$'), at + 1)) {
        if (text.size() - at < length + 3 || text[at + 1] != C('{') || text[at + 2 + length] != C('}')) continue;
        bool spelled = true, upper = true;
        for (std::size_t i = 0; i < length && (spelled || upper); ++i) {
            const C c = text[at + 2 + i];
            spelled = spelled && c == entry[i];
            upper = upper && c == asciiUpper(entry[i]);
        }
        if (spelled || upper) return true;
    }
    return false;
}

template <class S>
void expandAll(S& text, const ExpansionValues<S>& values, const std::vector<S>& environment) {
    const S separator = fromAscii<S>(";");
    using C = typename S::value_type;
    std::size_t budget = kMaxReplacements;
    // Every variable begins with "%" or "${": a text without them, the most
    // common by far (each line of an options file is expanded), is left at
    // once, and a row or an entry is only spelled out when its first
    // characters are there.
    // The text is searched for those once, and again only after a
    // replacement changed it, not once per row and per environment entry.
    const S open = fromAscii<S>("${");
    bool percent = false, dollar = false, opens = false;
    auto look = [&] {
        percent = text.find(C('%')) != S::npos;
        dollar = text.find(C('$')) != S::npos;
        opens = dollar && text.find(open) != S::npos;
    };
    look();
    for (const Row& row : kRows) {
        if (!(row.variable[0] == '%' ? percent : dollar)) continue;
        const S* value = nullptr;
        switch (row.value) {
        case Value::LauncherDir: value = &values.launcherDir; break;
        case Value::LauncherTempDir: value = &values.launcherTempDir; break;
        case Value::Separator: value = &separator; break;
        case Value::JvmHome: value = &values.jvmHome; break;
        case Value::SystemTempDir: value = &values.systemTempDir; break;
        }
        if (replaceAll(text, fromAscii<S>(row.variable), *value, budget) > 0) look();
    }
    for (const S& entry : environment) {
        if (!opens) return;
        // Entries that begin with "=" are the per-drive current directories
        // (=C:=C:\dir), not variables.
        std::size_t equals = entry.find(C('='));
        if (equals == S::npos || equals == 0) continue;
        if (!mentions(text, entry, equals)) continue;
        S value = entry.substr(equals + 1);
        S pattern = fromAscii<S>("${") + entry.substr(0, equals) + fromAscii<S>("}");
        std::size_t count = replaceAll(text, pattern, value, budget);
        for (auto& c : pattern) c = asciiUpper(c);
        count += replaceAll(text, pattern, value, budget);
        if (count > 0) look();
    }
}

}  // namespace

std::size_t replaceAllInPlace(std::u16string& text, const std::u16string& variable, const std::u16string& value) {
    std::size_t budget = kMaxReplacements;
    return replaceAll(text, variable, value, budget);
}

std::size_t replaceAllInPlace(std::string& text, const std::string& variable, const std::string& value) {
    std::size_t budget = kMaxReplacements;
    return replaceAll(text, variable, value, budget);
}

void expandWithValues(std::u16string& text, const WideExpansionValues& values,
                      const std::vector<std::u16string>& environment) {
    expandAll(text, values, environment);
}

void expandWithValues(std::string& text, const NarrowExpansionValues& values,
                      const std::vector<std::string>& environment) {
    expandAll(text, values, environment);
}

}  // namespace wl
