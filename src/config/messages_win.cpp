#include "base/process_state.h"
#include "base/text.h"
#include "config/entries.h"
#include "config/messages.h"
#include "config/store.h"
#include "diag/message.h"

namespace wl {

void showMessage(const std::u16string& text) {
    // The caption is looked up only for a message box, where it is shown.
    displayMessage(text, guiMessages ? lookupMessage(cfg::errorCaption, fileApiCodec()) : std::u16string());
}

void showConfiguredMessage(int32_t id, const std::u16string* argument) {
    showMessage(substitutePlaceholder(lookupMessage(id, fileApiCodec()), argument));
}

// A narrow argument is a path or a setting in the code page, shown to the
// user: widened through the code page, so that it reads as it was written.
void showConfiguredMessage(int32_t id, const std::string& narrowArgument) {
    std::u16string wide = fitToCapacity(fileApiCodec().widen(narrowArgument), kBufferSize);
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
