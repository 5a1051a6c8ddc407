#include "config/entries.h"

namespace wl {

const CatalogueEntry catalogue[] = {
    {cfg::configuredServiceName, "configuredServiceName", EntryKind::Text},
    {cfg::redirectStderr, "redirectStderr", EntryKind::Flag},
    {cfg::stderrFile, "stderrFile", EntryKind::Text},
    {cfg::redirectStdout, "redirectStdout", EntryKind::Flag},
    {cfg::stdoutFile, "stdoutFile", EntryKind::Text},
    {cfg::fifthLauncherFlag, "fifthLauncherFlag", EntryKind::Flag},
    {cfg::applicationType, "applicationType", EntryKind::Int},
    {cfg::splashTextSettings, "splashTextSettings", EntryKind::Flag},
    {cfg::classPath, "classPath", EntryKind::Text},
    {cfg::mainClass, "mainClass", EntryKind::Text},
    {cfg::vmOptions, "vmOptions", EntryKind::Text},
    {cfg::applicationArguments, "applicationArguments", EntryKind::Text},
    {cfg::allowJavaOptionArguments, "allowJavaOptionArguments", EntryKind::Flag},
    {cfg::minJavaVersion, "minJavaVersion", EntryKind::Text},
    {cfg::maxJavaVersion, "maxJavaVersion", EntryKind::Text},
    {cfg::jreSearchSequence, "jreSearchSequence", EntryKind::Text},
    {cfg::allowBetaJava, "allowBetaJava", EntryKind::Flag},
    {cfg::requireJdk, "requireJdk", EntryKind::Flag},
    {cfg::modulePath, "modulePath", EntryKind::Text},
    {cfg::mainClassInModule, "mainClassInModule", EntryKind::Flag},
    {cfg::workingDirectory, "workingDirectory", EntryKind::Text},
    {cfg::serviceDependencies, "serviceDependencies", EntryKind::Text},
    {cfg::jvmTypeDirectory, "jvmTypeDirectory", EntryKind::Text},
    {cfg::useDllDirectories, "useDllDirectories", EntryKind::Flag},
    {cfg::globalInstanceLock, "globalInstanceLock", EntryKind::Flag},
    {cfg::applicationId, "applicationId", EntryKind::Text},
    {cfg::splashSecondFlag, "splashSecondFlag", EntryKind::Flag},
    {cfg::privateJresOnly, "privateJresOnly", EntryKind::Flag},
    {cfg::useDefaultVmOptionsFile, "useDefaultVmOptionsFile", EntryKind::Flag},
    {cfg::flavour, "flavour", EntryKind::Text},
    {cfg::includedFileCount, "includedFileCount", EntryKind::Int},
    {cfg::includedFileNames, "includedFileNames", EntryKind::Text},
    {cfg::installationDirectory, "installationDirectory", EntryKind::Text},
    {cfg::nativeLibraryDirectories, "nativeLibraryDirectories", EntryKind::Text},
    {cfg::singleInstance, "singleInstance", EntryKind::Flag},
    {cfg::activateFirstInstance, "activateFirstInstance", EntryKind::Flag},
    {cfg::tempDirLongForm, "tempDirLongForm", EntryKind::Flag},
    {cfg::systemPathOnly, "systemPathOnly", EntryKind::Flag},
    {cfg::ignoreJavaOptionVariables, "ignoreJavaOptionVariables", EntryKind::Flag},
    {cfg::splashLine1X, "splashLine1X", EntryKind::Int},
    {cfg::splashLine1Y, "splashLine1Y", EntryKind::Int},
    {cfg::splashLine1Text, "splashLine1Text", EntryKind::Text},
    {cfg::splashLine1FontSize, "splashLine1FontSize", EntryKind::Int},
    {cfg::splashLine1Colour, "splashLine1Colour", EntryKind::Text},
    {cfg::splashLine1FontWeight, "splashLine1FontWeight", EntryKind::Int},
    {cfg::splashLine2X, "splashLine2X", EntryKind::Int},
    {cfg::splashLine2Y, "splashLine2Y", EntryKind::Int},
    {cfg::splashLine2Text, "splashLine2Text", EntryKind::Text},
    {cfg::splashLine2FontSize, "splashLine2FontSize", EntryKind::Int},
    {cfg::splashLine2Colour, "splashLine2Colour", EntryKind::Text},
    {cfg::splashLine2FontWeight, "splashLine2FontWeight", EntryKind::Int},
    {cfg::versionSpecificOptionCount, "versionSpecificOptionCount", EntryKind::Int},
    {cfg::errorCaption, "errorCaption", EntryKind::Message},
    {cfg::jvmNotStartable, "jvmNotStartable", EntryKind::Message},
    {cfg::classPathEntryMissing, "classPathEntryMissing", EntryKind::Message},
    {cfg::variableUndefined, "variableUndefined", EntryKind::Message},
    {cfg::internalError, "internalError", EntryKind::Message},
    {cfg::mainClassNotFound, "mainClassNotFound", EntryKind::Message},
    {cfg::mainMethodNotFound, "mainMethodNotFound", EntryKind::Message},
    {cfg::noTempDirectory, "noTempDirectory", EntryKind::Message},
    {cfg::noJvmFound, "noJvmFound", EntryKind::Message},
    {cfg::javaHomeUnusable, "javaHomeUnusable", EntryKind::Message},
    {cfg::jvmDamaged, "jvmDamaged", EntryKind::Message},
    {cfg::serviceDescription, "serviceDescription", EntryKind::Message},
};

const std::size_t catalogueSize = sizeof catalogue / sizeof catalogue[0];

const CatalogueEntry* findCatalogueEntry(std::string_view name) {
    for (const CatalogueEntry& e : catalogue)
        if (e.name == name) return &e;
    return nullptr;
}

const CatalogueEntry* findCatalogueEntry(int32_t id) {
    for (const CatalogueEntry& e : catalogue)
        if (e.id == id) return &e;
    return nullptr;
}

}  // namespace wl
