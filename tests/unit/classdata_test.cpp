#include "options/classdata.h"

#include <gtest/gtest.h>

#include "base/little_endian.h"
#include "option_inputs.h"

namespace {

using namespace option_inputs;

const std::string kArchive = "C:\\Users\\u\\AppData\\Local\\vennic\\cds\\app-0123456789abcdef.jsa";

ClassDataSharingCase usable(int32_t major) {
    ClassDataSharingCase c;
    c.javaMajor = major;
    c.baseArchive = true;
    c.archive = kArchive;
    return c;
}

TEST(ClassDataSharing, OptionsByVersionAndArchive) {
    ClassDataSharingCase c = usable(17);
    EXPECT_EQ(classDataSharingOptions(c), (Strings{"-Xshare:auto", "-XX:ArchiveClassesAtExit=" + kArchive}));
    c.archiveExists = true;
    EXPECT_EQ(classDataSharingOptions(c), (Strings{"-Xshare:auto", "-XX:SharedArchiveFile=" + kArchive}));
    for (int32_t major : {13, 16, 18}) {
        c = usable(major);
        EXPECT_TRUE(classDataSharingOptions(c).empty()) << major << ": its archives cannot be checked";
    }
    c = usable(17);
    c.layout64 = false;
    EXPECT_TRUE(classDataSharingOptions(c).empty()) << "a 32-bit runtime's archive cannot be checked";
    for (bool exists : {false, true}) {
        c = usable(19);
        c.archiveExists = exists;
        EXPECT_EQ(classDataSharingOptions(c), (Strings{"-Xshare:auto", "-XX:+AutoCreateSharedArchive",
                                                       "-XX:SharedArchiveFile=" + kArchive}));
    }
    c = usable(21);
    c.setting = ClassDataSharing::On;
    c.userOptionsFile = true;
    EXPECT_EQ(classDataSharingOptions(c).size(), 3u) << "on: the user's options file does not keep it away";
}

TEST(ClassDataSharing, RunsLeftWithoutAnArchive) {
    struct {
        const char* why;
        void (*change)(ClassDataSharingCase&);
    } cases[] = {
        {"switched off", [](ClassDataSharingCase& c) { c.setting = ClassDataSharing::Off; }},
        {"the runtime cannot write an archive", [](ClassDataSharingCase& c) { c.javaMajor = 12; }},
        {"the runtime cannot write an archive", [](ClassDataSharingCase& c) { c.javaMajor = -1; }},
        {"the runtime's archives cannot be checked", [](ClassDataSharingCase& c) { c.javaMajor = 15; }},
        {"the runtime has no archive of its own", [](ClassDataSharingCase& c) { c.baseArchive = false; }},
        {"the options choose it", [](ClassDataSharingCase& c) { c.userChoosesSharing = true; }},
        {"a -J option changes the class path", [](ClassDataSharingCase& c) { c.classPathChanged = true; }},
        {"a -J option changes the class path",
         [](ClassDataSharingCase& c) { c.classPathChanged = true, c.setting = ClassDataSharing::On; }},
        {"the user's options file gives options", [](ClassDataSharingCase& c) { c.userOptionsFile = true; }},
        {"no local application data", [](ClassDataSharingCase& c) { c.archive.clear(); }},
        {"the archive's path has no narrow form", [](ClassDataSharingCase& c) { c.archive = "C:\\?\\a.jsa"; }},
    };
    for (const auto& k : cases) {
        ClassDataSharingCase c = usable(21);
        k.change(c);
        clearLog();
        EXPECT_TRUE(classDataSharingOptions(c).empty()) << k.why;
        EXPECT_EQ(logLines(), Strings{std::string("class-data sharing: none, ") + k.why});
    }
}

// A dynamic archive header of HotSpot 17's layout: regions at 0x10, 72 bytes
// each, file offset at 24 and used size at 40.
std::string archiveHeader(uint32_t version = 11, uint32_t magic = 0xf00baba8) {
    std::string h;
    appendLe32(h, magic);
    appendLe32(h, 0x1234);
    appendLe32(h, version);
    appendLe32(h, 0);
    const uint64_t regions[][2] = {{0x1000, 0xc268}, {0xe000, 0xddd8}, {0x1c000, 0x6b8}, {0, 0}, {0, 0}};
    for (const auto& r : regions) {
        std::string region(72, '\0');
        for (int i = 0; i < 8; ++i) {
            region[24 + i] = char(r[0] >> (8 * i));
            region[40 + i] = char(r[1] >> (8 * i));
        }
        h += region;
    }
    h.resize(kArchiveHeaderBytes);
    return h;
}

TEST(ClassDataSharing, ArchiveChecks) {
    const std::string header = archiveHeader();
    EXPECT_EQ(checkClassDataArchive(header, 0x1d000, true), ArchiveState::Complete);
    EXPECT_EQ(checkClassDataArchive(header, 0x1c6b8, true), ArchiveState::Complete) << "the last region's end";
    EXPECT_EQ(checkClassDataArchive(header, 0x1c6b7, true), ArchiveState::Damaged);
    EXPECT_EQ(checkClassDataArchive(header, 0x1d000 / 2, true), ArchiveState::Damaged);
    EXPECT_EQ(checkClassDataArchive(header.substr(0, 100), 0x1d000, true), ArchiveState::Damaged);
    EXPECT_EQ(checkClassDataArchive("", 0, true), ArchiveState::Damaged);
    EXPECT_EQ(checkClassDataArchive(archiveHeader(11, 0xf00baba2), 0x1d000, true), ArchiveState::Damaged)
        << "the runtime's static archive is no application archive";
    EXPECT_EQ(checkClassDataArchive(archiveHeader(12), 0x1d000, true), ArchiveState::UnknownLayout);
    EXPECT_EQ(checkClassDataArchive(header, 0x1d000, false), ArchiveState::UnknownLayout);
    std::string huge = header;
    for (int i = 0; i < 8; ++i) huge[0x10 + 24 + i] = '\xff';
    EXPECT_EQ(checkClassDataArchive(huge, 0x1d000, true), ArchiveState::Damaged) << "no overflow";

    ClassDataSharingCase c = usable(17);
    c.archiveExists = true;
    c.archiveState = ArchiveState::Damaged;
    EXPECT_EQ(classDataSharingOptions(c), (Strings{"-Xshare:auto", "-XX:ArchiveClassesAtExit=" + kArchive}))
        << "written anew";
    c.archiveState = ArchiveState::UnknownLayout;
    EXPECT_TRUE(classDataSharingOptions(c).empty());
}

TEST(ClassDataSharing, SettingAndOptionTexts) {
    clearLog();
    EXPECT_EQ(parseClassDataSharing(""), ClassDataSharing::Auto);
    EXPECT_EQ(parseClassDataSharing("auto"), ClassDataSharing::Auto);
    EXPECT_EQ(parseClassDataSharing("off"), ClassDataSharing::Off);
    EXPECT_EQ(parseClassDataSharing("on"), ClassDataSharing::On);
    EXPECT_TRUE(logLines().empty());
    EXPECT_EQ(parseClassDataSharing("On"), ClassDataSharing::Auto);
    EXPECT_EQ(logLines(), Strings{"ERROR: classDataSharing On is not auto, off or on; auto is used"});

    for (const char16_t* line : {u"-cp x.jar", u"-classpath x", u"-classpath/a y.jar", u"-classpath/p y.jar",
                                 u"-Djava.class.path=a", u"--class-path=a", u"--module-path=m", u"-p m", u"-p",
                                 u"--patch-module=a=b", u"--upgrade-module-path=u", u"-Xbootclasspath/a:z"})
        EXPECT_TRUE(changesClassPath(line)) << utf8(line);
    for (const char16_t* line : {u"-Xmx1g", u"-Dapp.cp=1", u"-pfoo", u"--add-modules=x", u"-Djava.class.pathx"})
        EXPECT_FALSE(changesClassPath(line)) << utf8(line);

    EXPECT_TRUE(namesClassDataSharing({"-Xmx1g", "-Xshare:off"}));
    EXPECT_TRUE(namesClassDataSharing({"-XX:SharedArchiveFile=a.jsa"}));
    EXPECT_TRUE(namesClassDataSharing({"-XX:-AutoCreateSharedArchive"}));
    EXPECT_FALSE(namesClassDataSharing({"-Xmx1g", "-XX:+UseG1GC", "-Dshare=1"}));
}

TEST(ClassDataSharing, ArchiveNames) {
    const std::u16string name = classDataArchiveName(u"C:\\Apps\\Tool.exe", "C:\\jdk17", "17.0.2", "-Djava.class.path=a");
    ASSERT_EQ(name.size(), std::string("Tool-0123456789abcdef.jsa").size()) << utf8(name);
    EXPECT_EQ(utf8(name).rfind("Tool-", 0), 0u);
    EXPECT_EQ(classDataArchiveName(u"c:\\apps\\TOOL.EXE", "C:\\jdk17", "17.0.2", "-Djava.class.path=a").substr(5),
              name.substr(5))
        << "the executable's case does not count";
    // Another application, runtime, version or class path: another archive.
    std::set<std::u16string> names{name};
    names.insert(classDataArchiveName(u"C:\\Other\\Tool.exe", "C:\\jdk17", "17.0.2", "-Djava.class.path=a"));
    names.insert(classDataArchiveName(u"C:\\Apps\\Tool.exe", "C:\\jdk21", "17.0.2", "-Djava.class.path=a"));
    names.insert(classDataArchiveName(u"C:\\Apps\\Tool.exe", "C:\\jdk17", "17.0.3", "-Djava.class.path=a"));
    names.insert(classDataArchiveName(u"C:\\Apps\\Tool.exe", "C:\\jdk17", "17.0.2", "-Djava.class.path=b"));
    names.insert(classDataArchiveName(u"C:\\Apps\\Tool.exe", "C:\\jdk1", "717.0.2", "-Djava.class.path=a"));
    EXPECT_EQ(names.size(), 6u);

    EXPECT_EQ(classDataArchiveDirectory(std::string("C:\\Users\\u\\AppData\\Local"), kByteCodec),
              "C:\\Users\\u\\AppData\\Local\\vennic\\cds\\");
    EXPECT_EQ(classDataArchiveDirectory(std::string("D:\\"), kByteCodec), "D:\\vennic\\cds\\");
    EXPECT_EQ(classDataArchiveDirectory(std::string(""), kByteCodec), "");
    EXPECT_EQ(classDataArchiveDirectory(std::nullopt, kByteCodec), "");
}

// Through the whole assembly: the options come last, before the service and
// console additions, and the archive's directory is made.
class ClassDataSharingList : public VmOptionsTest {
protected:
    void SetUp() override {
        VmOptionsTest::SetUp();
        jvmHome = "C:\\jdk";
        in.existing.insert("C:\\jdk\\bin\\server\\classes.jsa");
        in.env["LOCALAPPDATA"] = "C:\\Local";
    }
    void TearDown() override {
        jvmHome.clear();
        VmOptionsTest::TearDown();
    }
    // The options the assembly added for class-data sharing.
    Strings sharing(const Strings& args = {}) {
        Strings list = assemble(args);
        Strings found;
        for (const std::string& option : list)
            if (option.starts_with("-Xshare") || option.starts_with("-XX:")) found.push_back(option);
        return found;
    }
};

TEST_F(ClassDataSharingList, AddedWhereSafe) {
    reset({{cfg::allowJavaOptionArguments, "1"}, {cfg::useDefaultVmOptionsFile, "1"}});
    javaVersion = "21.0.1";
    Strings list = assemble({"-J-Xmx1g"});
    ASSERT_EQ(list.size(), 5u);
    EXPECT_EQ(list[0], "-Xmx1g");
    EXPECT_EQ(list[1], kNoPath);
    EXPECT_EQ(list[2], "-Xshare:auto");
    EXPECT_EQ(list[3], "-XX:+AutoCreateSharedArchive");
    EXPECT_EQ(list[4].rfind("-XX:SharedArchiveFile=C:\\Local\\vennic\\cds\\app-", 0), 0u) << list[4];
    EXPECT_EQ(in.made, (Strings{"C:\\Local\\vennic", "C:\\Local\\vennic\\cds"}));

    // Java 17: written at the first exit, then used.
    javaVersion = "17.0.2";
    Strings first = sharing();
    ASSERT_EQ(first.size(), 2u);
    const std::string archive = first[1].substr(first[1].find('=') + 1);
    EXPECT_EQ(first[1], "-XX:ArchiveClassesAtExit=" + archive);
    in.files[archive] = archiveHeader();
    EXPECT_EQ(sharing(), (Strings{"-Xshare:auto", "-XX:ArchiveClassesAtExit=" + archive}))
        << "an archive shorter than its regions is written anew";
    EXPECT_EQ(in.removed, Strings{archive}) << "removed first";
    in.files[archive] = archiveHeader();
    in.files[archive].resize(0x1d000);
    EXPECT_EQ(sharing(), (Strings{"-Xshare:auto", "-XX:SharedArchiveFile=" + archive}));

    // A directory that cannot be made: no options.
    in.failMaking = true;
    EXPECT_TRUE(sharing().empty());
}

TEST_F(ClassDataSharingList, LeftAloneWhenTheClassPathOrTheUserDecides) {
    reset({{cfg::allowJavaOptionArguments, "1"}, {cfg::useDefaultVmOptionsFile, "1"}});
    EXPECT_TRUE(sharing({"-J-cp", "-J-classpath/a extra.jar"}).empty());
    EXPECT_EQ(sharing({"-J-Xshare:off"}), Strings{"-Xshare:off"}) << "the user's own choice stays alone";
    in.files["C:\\App\\app.vmoptions"] = "-Xmx2g\n";
    EXPECT_TRUE(sharing().empty());
    in.files["C:\\App\\app.vmoptions"] = "# only a comment\n";
    EXPECT_EQ(sharing().size(), 2u) << "an options file that gives nothing does not count";

    in.files["C:\\App\\app.vmoptions"] = "-Xmx2g\n";
    reset({{cfg::classDataSharing, "on"}, {cfg::useDefaultVmOptionsFile, "1"}});
    EXPECT_EQ(sharing().size(), 2u);
    reset({{cfg::classDataSharing, "off"}});
    EXPECT_TRUE(sharing().empty());
    reset();
    in.existing.clear();
    EXPECT_TRUE(sharing().empty()) << "a runtime without its own archive";
}

}  // namespace
