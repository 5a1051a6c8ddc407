// The catalogue of configuration ids: every setting and message the launcher
// reads, with the name the code and the packer use for it.
#pragma once

#include <cstdint>
#include <string_view>

namespace wl {
namespace cfg {

// Settings: narrow byte strings.
enum Setting : int32_t {
    configuredServiceName = 101,
    redirectStderr = 102,
    stderrFile = 103,
    redirectStdout = 104,
    stdoutFile = 105,
    fifthLauncherFlag = 106,
    applicationType = 107,
    splashTextSettings = 108,
    classPath = 121,
    mainClass = 122,
    vmOptions = 123,
    applicationArguments = 124,
    allowJavaOptionArguments = 125,
    minJavaVersion = 126,
    maxJavaVersion = 127,
    jreSearchSequence = 128,
    allowBetaJava = 130,
    requireJdk = 131,
    modulePath = 132,
    mainClassInModule = 133,
    workingDirectory = 146,
    serviceDependencies = 149,
    jvmTypeDirectory = 152,
    useDllDirectories = 154,
    globalInstanceLock = 158,
    applicationId = 160,
    splashSecondFlag = 163,
    privateJresOnly = 165,
    useDefaultVmOptionsFile = 166,
    flavour = 2001,
    includedFileCount = 2002,
    includedFileNames = 2003,
    installationDirectory = 10003,
    nativeLibraryDirectories = 10004,
    singleInstance = 10005,
    activateFirstInstance = 10008,
    tempDirLongForm = 10009,
    systemPathOnly = 10010,
    ignoreJavaOptionVariables = 10012,
    splashLine1X = 10109,
    splashLine1Y = 10110,
    splashLine1Text = 10111,
    splashLine1FontSize = 10113,
    splashLine1Colour = 10114,
    splashLine1FontWeight = 10115,
    splashLine2X = 10116,
    splashLine2Y = 10117,
    splashLine2Text = 10118,
    splashLine2FontSize = 10120,
    splashLine2Colour = 10121,
    splashLine2FontWeight = 10122,
    versionSpecificOptionCount = 10200,
    // Indexed family: condition k at 10201 + 2k, options k at 10202 + 2k.
    versionSpecificCondition = 10201,
    versionSpecificOptions = 10202,
};

// Messages: UTF-16 texts, replaced by language sections.
enum Message : int32_t {
    errorCaption = 1000,
    jvmNotStartable = 1005,
    classPathEntryMissing = 1006,
    variableUndefined = 1008,
    internalError = 1009,
    mainClassNotFound = 1010,
    mainMethodNotFound = 1011,
    noTempDirectory = 1015,
    noJvmFound = 1016,
    javaHomeUnusable = 1017,
    jvmDamaged = 1019,
    serviceDescription = 20017,
};

}  // namespace cfg

// How a value is written by the packer and read by the launcher.
enum class EntryKind : uint8_t {
    Text,     // a narrow string
    Int,      // a decimal integer
    Flag,     // a decimal integer, non-zero meaning on
    Message,  // a UTF-16 text of the messages table
};

struct CatalogueEntry {
    int32_t id;
    std::string_view name;
    EntryKind kind;
};

// Every named id, settings first, in ascending order within each table. The
// indexed family of version-specific options is addressed by number only.
extern const CatalogueEntry catalogue[];
extern const std::size_t catalogueSize;

// Finds an entry by name or by id; nullptr when unknown. Setting and message
// ids never coincide.
const CatalogueEntry* findCatalogueEntry(std::string_view name);
const CatalogueEntry* findCatalogueEntry(int32_t id);

}  // namespace wl
