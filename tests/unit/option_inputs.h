// The system in memory for the option assembly's tests: files, listings and
// environment of a launcher in C:\App\, and a fixture that resets the
// process-wide state the assembly reads.
#pragma once

#include <gtest/gtest.h>

#include <algorithm>
#include <map>
#include <set>

#include "base/process_state.h"
#include "config/entries.h"
#include "config/store.h"
#include "files/expand.h"
#include "files/paths.h"
#include "options/vmoptions.h"
#include "test_support.h"

namespace option_inputs {

using namespace wl;
using namespace testing_support;

using Strings = std::vector<std::string>;
using Settings = std::map<int32_t, std::string>;
using Files = std::map<std::string, std::string>;
const std::string kNoPath = "-Djava.class.path=";

// The system in memory, with the launcher in C:\App\.
struct FakeInputs : OptionInputs {
    Files files;                             // path -> contents
    std::set<std::string> existing;          // further paths that exist
    std::map<std::string, Strings> listings;  // search pattern -> names
    std::map<std::string, std::string> env;  // defined variables
    Strings opened;                          // every file asked for, in order
    const NarrowCodec* narrowCodec = &kByteCodec;  // of the class-path pieces

    void expand(std::u16string& text, bool) override {
        std::string narrow = utf8(text);
        expandNarrow(narrow);
        text = wide(narrow);
    }
    void expandNarrow(std::string& text) override {
        Strings block;
        for (const auto& [name, value] : env) block.push_back(name + "=" + value);
        expandWithValues(text, {"C:\\App\\", launcherTempDir, "", "C:\\Temp\\"}, block);
    }
    std::string toNarrow(const std::u16string& text) override { return utf8(text); }
    std::u16string resolve(const std::u16string& path, const std::u16string* base) override {
        return composeResolvedPath(path, base ? directoryOf(*base) : u"C:\\App\\");
    }
    std::u16string fullFileName(const std::u16string& path) override { return path; }
    std::optional<OpenedFile> openFile(const std::u16string& path) override {
        opened.push_back(utf8(path));
        auto it = files.find(utf8(path));
        if (it == files.end()) return std::nullopt;
        return OpenedFile{&it->second, std::make_unique<MemorySource>(it->second)};
    }
    std::u16string modulePath() override { return u"C:\\App\\app.exe"; }
    std::u16string moduleFileName() override { return u"C:\\App\\app.exe"; }
    std::string launcherDir() override { return "C:\\App\\"; }
    const NarrowCodec& codec() override { return *narrowCodec; }
    bool exists(const std::string& path) override { return existing.count(path) || files.count(path); }
    Strings findFiles(const std::string& pattern) override { return listings[pattern]; }
    std::optional<std::string> environmentVariable(const std::string& name) override {
        auto it = env.find(name);
        return it == env.end() ? std::nullopt : std::optional<std::string>(it->second);
    }
    std::string installationDir() override { return "C:\\App\\rt"; }
    bool createDirectory(const std::string& path) override {
        made.push_back(path);
        existing.insert(path);
        return !failMaking;
    }
    bool removeFile(const std::string& path) override {
        removed.push_back(path);
        files.erase(path);
        existing.erase(path);
        return true;
    }
    Strings made;            // every directory made, in order
    Strings removed;         // every file removed, in order
    bool failMaking = false;
};

class VmOptionsTest : public ::testing::Test {
protected:
    void SetUp() override { reset(); }
    void TearDown() override { reset(); }
    void reset(const Settings& settings = {}) {
        configStore = {};
        configStore.settings = {settings.begin(), settings.end()};
        isServiceProcess = runInConsole = false;
        flavourCode = 0;
        launcherTempDir.clear();
        javaVersion = "17.0.2";
        localeLanguage.clear();
        localeCountry.clear();
        clearLog();
    }
    // The whole list; a failure fails the test.
    Strings assemble(const Strings& args = {}, const Strings& properties = {}) {
        std::vector<std::u16string> arguments;
        for (const std::string& a : args) arguments.push_back(wide(a));
        VmOptionList list;
        std::optional<PathFailure> failure = assembleOptionList(in, properties, arguments, list);
        EXPECT_FALSE(failure) << failure->message << " " << failure->argument;
        return list;
    }
    bool logged(const std::string& line) {
        Strings lines = logLines();
        return std::find(lines.begin(), lines.end(), line) != lines.end();
    }

    FakeInputs in;
};

}  // namespace option_inputs
