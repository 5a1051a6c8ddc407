#include "base/text.h"
#include "config/entries.h"
#include "config/messages.h"
#include "config/store.h"
#include "diag/message.h"

namespace wl {

void showMessage(const std::u16string& text) { displayMessage(text, lookupMessage(cfg::errorCaption)); }

void showConfiguredMessage(int32_t id, const std::u16string* argument) {
    showMessage(substitutePlaceholder(lookupMessage(id), argument));
}

void showConfiguredMessage(int32_t id, const std::string& narrowArgument) {
    std::u16string wide = fitToCapacity(widenBytes(narrowArgument), kBufferSize);
    showConfiguredMessage(id, &wide);
}

void fatalError(const std::u16string& text) {
    showMessage(text);
    exitLauncher(1);
}

void fatalConfiguredError(int32_t id, const std::u16string* argument) {
    showConfiguredMessage(id, argument);
    exitLauncher(1);
}

void fatalConfiguredError(int32_t id, const std::string& narrowArgument) {
    showConfiguredMessage(id, narrowArgument);
    exitLauncher(1);
}

}  // namespace wl
