#include "core/IniFile.h"
#include "AppTestSupport.h"
#include "EngineTestSupport.h"

#include <climits>
#include <csignal>
#include <filesystem>
#include <sys/resource.h>
#include <sys/stat.h>

using namespace tessaro;
using tessaro::test::TTempDir;

namespace {

int FileCount(const std::filesystem::path& folder) {
    int count = 0;
    for ([[maybe_unused]] const auto& entry : std::filesystem::directory_iterator(folder)) {
        ++count;
    }
    return count;
}

struct TReadCase {
    const char* name;
    const char* content;
    const char* section;
    const char* key;
    const char* expected;
};

const TReadCase ReadCases[] = {
    {"names ignore letter case", "[FORMATINFO1]\nPARAZOOM=lbox\n", "formatInfo1", "paraZoom",
     "lbox"},
    {"value and key lose their blanks", "[settings]\n  OutPutDir =   /a b/c   \n", "settings",
     "outputdir", "/a b/c"},
    {"empty value is a value", "[s]\nk=\n", "s", "k", ""},
    {"value may hold '='", "[s]\nk=a=b\n", "s", "k", "a=b"},
    {"missing section gives default", "[a]\nk=1\n", "b", "k", "<default>"},
    {"key of another section is not found", "[a]\nk=1\n[b]\nj=2\n", "b", "k", "<default>"},
    {"missing key gives default", "[s]\nother=1\n", "s", "k", "<default>"},
    {"comment is not a key", "[s]\n;k=1\n#k=2\n", "s", "k", "<default>"},
    {"CRLF line ends", "[s]\r\nk=v\r\nj=w\r\n", "s", "j", "w"},
    {"blanks around section name", "[ settings ]\nk=v", "SETTINGS", "k", "v"},
    {"first section of a name wins", "[s]\nk=1\n[s]\nk=2\n", "s", "k", "1"},
};

void PrintTo(const TReadCase& c, std::ostream* out) {
    *out << c.name;
}

class IniRead : public ::testing::TestWithParam<TReadCase> {};

TEST_P(IniRead, FindsTheValueOrTheDefault) {
    TTempDir dir;
    const auto path = dir.Path() / "t.ini";
    test::WriteTextFile(path, GetParam().content);
    EXPECT_EQ(TIniFile(path.string()).ReadString(GetParam().section, GetParam().key, "<default>"),
              GetParam().expected);
}

INSTANTIATE_TEST_SUITE_P(Cases, IniRead, ::testing::ValuesIn(ReadCases), [](const auto& info) {
    std::string name = info.param.name;
    for (char& c : name) {
        if (!std::isalnum(static_cast<unsigned char>(c))) {
            c = '_';
        }
    }
    return name;
});

TEST(IniFile, MissingFileYieldsEveryDefault) {
    TTempDir dir;
    const TIniFile ini((dir.Path() / "absent.ini").string());
    EXPECT_EQ(ini.ReadString("settings", "OutPutDir", "x"), "x");
    EXPECT_EQ(ini.ReadInteger("settings", "priority", 1), 1);
    EXPECT_TRUE(ini.ReadBool("lstformat", "2", true));
}

TEST(IniFile, LongValuesAreCutAt2047Characters) {
    TTempDir dir;
    const auto path = dir.Path() / "t.ini";
    test::WriteTextFile(path, "[s]\nk=" + std::string(3000, 'v') + "\n");
    EXPECT_EQ(TIniFile(path.string()).ReadString("s", "k", ""), std::string(2047, 'v'));
}

struct TIntegerCase {
    const char* text;
    int expected; // with default -77
};

const TIntegerCase IntegerCases[] = {
    {"0x3", 3},
    {"0X1f", 31},
    {"0x", -77},
    {"0xg", -77},
    {"abc", -77},
    {"12abc", -77},
    {"-5", -5},
    {"+7", 7},
    {"007", 7},
    {" 42 ", 42},
    {"", -77},
    {"-", -77},
    {"0xFFFFFFFF", -1},
    {"0x100000000", -77},
    {"2147483647", INT_MAX},
    {"2147483648", -77},
    {"-2147483648", INT_MIN},
    {"-0x10", -77},
    {"1.5", -77},
};

TEST(IniFile, IntegerReadsFollowTheHexAndDecimalRules) {
    TTempDir dir;
    const auto path = dir.Path() / "t.ini";
    for (const TIntegerCase& c : IntegerCases) {
        test::WriteTextFile(path, std::string("[settings]\npriority=") + c.text + "\n");
        EXPECT_EQ(TIniFile(path.string()).ReadInteger("settings", "priority", -77), c.expected)
            << "value \"" << c.text << "\"";
    }
}

TEST(IniFile, BooleanReadsAreIntegerReads) {
    TTempDir dir;
    const auto path = dir.Path() / "t.ini";
    test::WriteTextFile(path, "[lstformat]\n0=0\n1=1\n2=-3\n3=yes\n");
    const TIniFile ini(path.string());
    EXPECT_FALSE(ini.ReadBool("lstformat", "0", true));
    EXPECT_TRUE(ini.ReadBool("lstformat", "1", false));
    EXPECT_TRUE(ini.ReadBool("lstformat", "2", false));
    EXPECT_TRUE(ini.ReadBool("lstformat", "3", true)) << "not an integer: the default";
    EXPECT_FALSE(ini.ReadBool("lstformat", "3", false));
}

struct TWriteCase {
    const char* name;
    const char* before; // nullptr: no file
    const char* section;
    const char* key;
    const char* value;
    const char* after;
};

const TWriteCase WriteCases[] = {
    {"creates file and section", nullptr, "settings", "volume", "64", "[settings]\nvolume=64\n"},
    {"replaces a key in any letter case, keeping its spelling",
     "[FORMATINFO1]\nPARAZOOM=full\nparaGop=3\n", "formatInfo1", "paraZoom", "lbox",
     "[FORMATINFO1]\nPARAZOOM=lbox\nparaGop=3\n"},
    {"adds a key at the end of its section, keeping comments and order",
     "; comment\n[settings]\nvolume=3\n\n[other]\nx=1\n", "settings", "mute", "1",
     "; comment\n[settings]\nvolume=3\nmute=1\n\n[other]\nx=1\n"},
    {"appends a new section", "[a]\nk=1", "b", "j", "2", "[a]\nk=1\n[b]\nj=2\n"},
    {"keeps CRLF line ends", "[s]\r\nk=1\r\n", "s", "k", "2", "[s]\r\nk=2\r\n"},
    {"a line break in a value cannot start a new entry", "[s]\n", "s", "k", "a\nevil=1",
     "[s]\nk=a evil=1\n"},
};

void PrintTo(const TWriteCase& c, std::ostream* out) {
    *out << c.name;
}

class IniWrite : public ::testing::TestWithParam<TWriteCase> {};

TEST_P(IniWrite, ChangesOnlyTheKey) {
    TTempDir dir;
    const auto path = dir.Path() / "t.ini";
    if (GetParam().before != nullptr) {
        test::WriteTextFile(path, GetParam().before);
    }
    TIniFile ini(path.string());
    ini.WriteString(GetParam().section, GetParam().key, GetParam().value);
    EXPECT_EQ(test::ReadTextFile(path), GetParam().after);
    EXPECT_EQ(FileCount(dir.Path()), 1) << "no temporary file is left behind";
}

INSTANTIATE_TEST_SUITE_P(Cases, IniWrite, ::testing::ValuesIn(WriteCases),
                         [](const auto& info) { return std::to_string(info.index); });

TEST(IniFile, TypedWritesReadBack) {
    TTempDir dir;
    TIniFile ini((dir.Path() / "t.ini").string());
    ini.WriteInteger("settings", "volume", -5);
    ini.WriteBool("lstformat", "2", false);
    ini.WriteBool("lstformat", "3", true);
    EXPECT_EQ(ini.ReadString("settings", "volume", ""), "-5");
    EXPECT_EQ(ini.ReadString("lstformat", "2", ""), "0");
    EXPECT_EQ(ini.ReadString("lstformat", "3", ""), "1");
}

TEST(IniFile, WriteKeepsPermissionsAndSymbolicLinks) {
    TTempDir dir;
    const auto real = dir.Path() / "real.ini";
    const auto link = dir.Path() / "link.ini";
    test::WriteTextFile(real, "[s]\nk=1\n");
    ASSERT_EQ(chmod(real.c_str(), 0640), 0);
    std::filesystem::create_symlink(real, link);

    TIniFile(link.string()).WriteString("s", "k", "2");

    EXPECT_TRUE(std::filesystem::is_symlink(link));
    EXPECT_EQ(test::ReadTextFile(real), "[s]\nk=2\n");
    struct stat info {};
    ASSERT_EQ(stat(real.c_str(), &info), 0);
    EXPECT_EQ(info.st_mode & 07777, 0640u);
}

void ExpectWriteFails(const std::string& path) {
    try {
        TIniFile(path).WriteString("settings", "volume", "1");
        FAIL() << "write into " << path << " succeeded";
    } catch (const TIniWriteError& e) {
        EXPECT_EQ(std::string(e.what()), "Unable to write to " + path);
    }
}

TEST(IniFile, WriteIntoAFolderThatCannotExistFails) {
    TTempDir dir;
    test::WriteTextFile(dir.Path() / "plain-file", "x");
    ExpectWriteFails((dir.Path() / "plain-file" / "tessaro.ini").string());
}

TEST(IniFile, WriteOverAFolderFailsAndLeavesItAlone) {
    TTempDir dir;
    const auto target = dir.Path() / "tessaro.ini";
    std::filesystem::create_directory(target);
    test::WriteTextFile(target / "inside", "kept");
    ExpectWriteFails(target.string());
    EXPECT_EQ(test::ReadTextFile(target / "inside"), "kept");
    EXPECT_EQ(FileCount(dir.Path()), 1);
}

// A file size limit makes write() fail with EFBIG exactly like a full disk does,
// also for root.
class FileSizeLimit {
public:
    explicit FileSizeLimit(rlim_t bytes) {
        getrlimit(RLIMIT_FSIZE, &saved_);
        previousHandler_ = std::signal(SIGXFSZ, SIG_IGN);
        rlimit limited = saved_;
        limited.rlim_cur = bytes;
        setrlimit(RLIMIT_FSIZE, &limited);
    }
    ~FileSizeLimit() {
        setrlimit(RLIMIT_FSIZE, &saved_);
        std::signal(SIGXFSZ, previousHandler_);
    }

private:
    rlimit saved_{};
    void (*previousHandler_)(int) = nullptr;
};

TEST(IniFile, WriteOnAFullDiskLeavesTheOldFileIntact) {
    TTempDir dir;
    const auto path = dir.Path() / "tessaro.ini";
    const std::string before = "; my settings\n[settings]\nvolume=3\nOutPutDir=/videos\n";
    test::WriteTextFile(path, before);
    {
        FileSizeLimit limit(before.size() + 10);
        try {
            TIniFile(path.string()).WriteString("settings", "OutPutDir", std::string(500, 'x'));
            FAIL() << "write beyond the file size limit succeeded";
        } catch (const TIniWriteError& e) {
            EXPECT_EQ(std::string(e.what()), "Unable to write to " + path.string());
        }
    }
    EXPECT_EQ(test::ReadTextFile(path), before);
    EXPECT_EQ(FileCount(dir.Path()), 1) << "the partial temporary file is removed";
}

} // namespace
