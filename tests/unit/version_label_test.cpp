// Version labels: the format, the short form, and when the Shift key is asked.
#include <gtest/gtest.h>

#include "discovery/version_label.h"
#include "fakes/fake_platform.h"

namespace hotfix {
namespace {

TEST(VersionLabel, FormatTable) {
    struct Case {
        FileVersion version;
        const char* label;
    } cases[] = {
        {{7, 22, 24188, 12}, "7.22 (7.22.24188.12)"},
        {{10, 5, 3, 0}, "10.05 (10.05.03.00)"},
        {{0, 0, 0, 0}, "0.00 (0.00.00.00)"},
        {{65535, 65535, 65535, 65535}, "65535.65535 (65535.65535.65535.65535)"},
        {{7, 100, 9, 100}, "7.100 (7.100.09.100)"},
    };
    for (const Case& c : cases) EXPECT_EQ(FormatVersionLabel(c.version), c.label);
}

class ReadVersionLabelTest : public ::testing::Test {
protected:
    fakes::FakeVersionSource versions;
    fakes::SingleByteCodePage codePage;
    std::string label = "before";
    ReadVersionLabelTest() { versions.versions["x.exe"] = FileVersion{7, 22, 24188, 12}; }
    bool Read(int forceShort, int fullForm, const char* path = "x.exe") {
        return ReadVersionLabel(versions, path, label, forceShort, fullForm, codePage);
    }
};

TEST_F(ReadVersionLabelTest, FullFormWinsOverEverything) {
    versions.shiftDown = false;
    EXPECT_TRUE(Read(1, 1));
    EXPECT_EQ(label, "7.22 (7.22.24188.12)");
    EXPECT_TRUE(Read(0, 7));
    EXPECT_EQ(label, "7.22 (7.22.24188.12)");
    EXPECT_EQ(versions.shiftQueries, 0);
}

TEST_F(ReadVersionLabelTest, ForceShortOfOneGivesShortFormWithItsBlank) {
    versions.shiftDown = true;
    EXPECT_TRUE(Read(1, 0));
    EXPECT_EQ(label, "7.22 ");
    EXPECT_EQ(versions.shiftQueries, 0);
}

TEST_F(ReadVersionLabelTest, OtherwiseTheShiftKeyDecidesOncePerCall) {
    for (int forceShort : {0, 2, -1}) {
        versions.shiftQueries = 0;
        versions.shiftDown = true;
        EXPECT_TRUE(Read(forceShort, 0));
        EXPECT_EQ(label, "7.22 (7.22.24188.12)");
        versions.shiftDown = false;
        EXPECT_TRUE(Read(forceShort, 0));
        EXPECT_EQ(label, "7.22 ");
        EXPECT_EQ(versions.shiftQueries, 2);
    }
}

TEST_F(ReadVersionLabelTest, NoVersionInformationLeavesTheLabelUntouched) {
    EXPECT_FALSE(Read(0, 1, "missing.exe"));
    EXPECT_EQ(label, "before");
    label.clear();
    EXPECT_FALSE(Read(0, 1, "missing.exe"));
    EXPECT_EQ(label, "");
}

} // namespace
} // namespace hotfix
